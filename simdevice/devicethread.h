#pragma once

#include "simulateddevice.h"

#include <QThread>

// A simulated device answering from a thread of its own, so that the caller's thread does only
// the monitor's work and its CPU time is the monitor's alone.
class DeviceThread
{
public:
    DeviceThread();
    ~DeviceThread();
    DeviceThread(const DeviceThread &) = delete;
    DeviceThread &operator=(const DeviceThread &) = delete;

    // Opens the pseudo-terminal; false when the system has none to give.
    bool plugIn();
    void unplug();
    QString devicePath() const;

    // Each call waits until the device thread has carried it out.
    void setResponder(SimulatedDevice::Responder responder);
    void setAnswer(const QByteArray &bytes, std::chrono::milliseconds delay = {});
    void chatter(const QByteArray &bytes, std::chrono::milliseconds interval);
    bool setLosingWhileClosed(bool losing);
    int requestCount() const;
    void setKeepingTimes(bool keep);
    QList<qint64> requestTimes() const;
    QList<qint64> answerTimes() const;

private:
    template <typename Function> void runInThread(Function function) const;

    QThread m_thread;
    SimulatedDevice *m_device;
};
