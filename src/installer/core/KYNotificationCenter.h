#pragma once

#include <QLatin1String>
#include <QObject>
#include <QString>

namespace tavoren::installer {

// The window's notification centre, one per process as there is one window:
// a view posts a notification by name, and whoever observes that name hears
// of it, on the main thread, with no object attached.
class KYNotificationCenter final : public QObject
{
    Q_OBJECT

public:
    static constexpr QLatin1String PerformDragOperationNotification{"com.kyr.PerformDragOperationNotification"};
    static constexpr QLatin1String TermsNotAcceptedNotification{"com.kyr.TermsNotAcceptedNotification"};

    using QObject::QObject;

    void post(const QString &name);
    // Calls `observer` (in `context`'s thread, while `context` lives) for
    // every notification of that name.
    template <typename Functor>
    QMetaObject::Connection addObserver(const QString &name, const QObject *context, Functor observer)
    {
        return connect(this, &KYNotificationCenter::posted, context, [name, observer](const QString &posted) {
            if (posted == name)
                observer();
        });
    }

signals:
    void posted(const QString &name);
};

} // namespace tavoren::installer
