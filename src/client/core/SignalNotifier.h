#pragma once

#include <QObject>
#include <initializer_list>
#include <memory>

class QSocketNotifier;

namespace tavoren::client {

// Turns the given signals into a Qt signal on the event loop: the handler
// only writes the signal's number into a socket pair, everything else runs
// on the thread that owns the object. One per process.
class SignalNotifier final : public QObject
{
    Q_OBJECT

public:
    SignalNotifier(std::initializer_list<int> signalNumbers, QObject *parent = nullptr);
    ~SignalNotifier() override;

signals:
    void received(int signalNumber);

private:
    void readSignals();

    int m_pair[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace tavoren::client
