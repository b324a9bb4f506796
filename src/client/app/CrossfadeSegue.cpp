#include "client/app/CrossfadeSegue.h"

#include "client/app/Screen.h"
#include "client/app/ViewController.h"

#include <QTimer>

namespace tavoren::client {

CrossfadeSegue::CrossfadeSegue(const QString &identifier, Screen &source, Screen &destination)
    : m_identifier(identifier)
    , m_source(&source)
    , m_destination(&destination)
{
}

CrossfadeSegue::~CrossfadeSegue()
{
    // A destination that never became a child goes with the segue.
    if (m_destination && !m_destination->parentViewController())
        delete m_destination;
}

void CrossfadeSegue::perform()
{
    ViewController *parent = m_source ? m_source->parentViewController() : nullptr;
    if (!parent) {
        deleteLater();
        return;
    }
    setParent(parent);
    QTimer::singleShot(0, this, [this] {
        swap();
        deleteLater();
    });
}

void CrossfadeSegue::swap()
{
    ViewController *parent = m_source ? m_source->parentViewController() : nullptr;
    // The source must still be the current screen: a screen that has gone,
    // or a second transition from the same screen, changes nothing.
    if (!parent || !m_destination || parent->childCount() == 0 || parent->childAt(0) != m_source)
        return;
    parent->insertChild(m_destination, 1);
    parent->transition(m_source, m_destination);
    parent->removeChildAt(0);
}

} // namespace tavoren::client
