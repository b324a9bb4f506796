#pragma once

#include "shared/Descriptor.h"

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

    shared::Descriptor m_readEnd;
    shared::Descriptor m_writeEnd;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace tavoren::client
