#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

namespace tavoren::client {

class Screen;

// A storyboard transition that replaces the root controller's current screen
// by the next one with a cross-fade. It lives for one transition.
class CrossfadeSegue final : public QObject
{
    Q_OBJECT

public:
    // The destination is not yet a child; the segue owns it until it is.
    CrossfadeSegue(const QString &identifier, Screen &source, Screen &destination);
    ~CrossfadeSegue() override;

    const QString &identifier() const { return m_identifier; }
    // Queues the swap to a later turn of the event loop, after the code that
    // started the transition has returned.
    void perform();

private:
    void swap();

    QString m_identifier;
    QPointer<Screen> m_source;
    QPointer<Screen> m_destination;
};

} // namespace tavoren::client
