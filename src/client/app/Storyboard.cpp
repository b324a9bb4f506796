#include "client/app/Storyboard.h"

#include "client/app/CrossfadeSegue.h"
#include "client/app/DockerError.h"
#include "client/app/EmailEntry.h"
#include "client/app/Error.h"
#include "client/app/ReleaseCodeResult.h"
#include "client/app/Settings.h"
#include "client/app/Upload.h"
#include "client/core/Constants.h"

#include <array>

namespace tavoren::client {

namespace {
struct SegueEntry
{
    QLatin1String source;
    QLatin1String segue;
    QLatin1String destination;
};

constexpr std::array segues{
    SegueEntry{Constants::emailEntryViewController, Constants::crossfadeSegue, Constants::loaderViewController},
    SegueEntry{Constants::loaderViewController, Constants::releaseCodeSegue, Storyboard::releaseCodeViewController},
    SegueEntry{Constants::loaderViewController, Constants::errorSegue, Storyboard::errorViewController},
};
} // namespace

Storyboard::Storyboard(const QString &name, AppDelegate &appDelegate, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_appDelegate(appDelegate)
{
}

Screen *Storyboard::instantiateController(const QString &identifier)
{
    Screen *screen = nullptr;
    if (identifier == Constants::emailEntryViewController)
        screen = new EmailEntry(m_appDelegate);
    else if (identifier == Constants::loaderViewController)
        screen = new Upload(m_appDelegate);
    else if (identifier == Constants::dockerError)
        screen = new DockerError(m_appDelegate);
    else if (identifier == releaseCodeViewController)
        screen = new ReleaseCodeResult(m_appDelegate);
    else if (identifier == errorViewController)
        screen = new Error(m_appDelegate);
    else if (identifier == settingsViewController)
        screen = new Settings(m_appDelegate);
    if (screen) {
        screen->setIdentifier(identifier);
        screen->setStoryboard(this);
    }
    return screen;
}

QString Storyboard::destinationOf(const QString &sourceIdentifier, const QString &segueIdentifier)
{
    for (const SegueEntry &entry : segues) {
        if (entry.source == sourceIdentifier && entry.segue == segueIdentifier)
            return entry.destination;
    }
    return QString();
}

void Storyboard::performSegue(Screen &source, const QString &segueIdentifier)
{
    Screen *destination = instantiateController(destinationOf(source.identifier(), segueIdentifier));
    if (!destination)
        return;
    source.prepareForSegue(segueIdentifier, *destination);
    (new CrossfadeSegue(segueIdentifier, source, *destination))->perform();
}

} // namespace tavoren::client
