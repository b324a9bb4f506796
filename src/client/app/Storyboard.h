#pragma once

#include <QLatin1String>
#include <QObject>
#include <QString>

namespace tavoren::client {

class AppDelegate;
class Screen;

// The client's storyboard: makes screens by identifier and performs the
// named transitions between them, hand-over first, then the cross-fade.
class Storyboard final : public QObject
{
    Q_OBJECT

public:
    static constexpr QLatin1String releaseCodeViewController{"releaseCodeViewController"};
    static constexpr QLatin1String errorViewController{"errorViewController"};
    static constexpr QLatin1String settingsViewController{"settingsViewController"};

    Storyboard(const QString &name, AppDelegate &appDelegate, QObject *parent = nullptr);

    const QString &name() const { return m_name; }
    // A new screen, or nullptr for an identifier this storyboard lacks.
    Screen *instantiateController(const QString &identifier);
    // The screen a transition of a screen leads to; empty when there is none.
    static QString destinationOf(const QString &sourceIdentifier, const QString &segueIdentifier);
    void performSegue(Screen &source, const QString &segueIdentifier);

private:
    QString m_name;
    AppDelegate &m_appDelegate;
};

} // namespace tavoren::client
