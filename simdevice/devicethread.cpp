#include "devicethread.h"

#include <QMetaObject>

DeviceThread::DeviceThread() : m_device(new SimulatedDevice)
{
    m_device->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_device, &QObject::deleteLater);
    m_thread.start();
}

DeviceThread::~DeviceThread()
{
    unplug();
    m_thread.quit();
    m_thread.wait();
}

template <typename Function> void DeviceThread::runInThread(Function function) const
{
    QMetaObject::invokeMethod(m_device, function, Qt::BlockingQueuedConnection);
}

bool DeviceThread::plugIn()
{
    bool pluggedIn = false;
    // The device's socket notifier must be created in the thread that serves it.
    runInThread([&] { pluggedIn = m_device->plugIn(); });
    return pluggedIn;
}

void DeviceThread::unplug()
{
    runInThread([&] { m_device->unplug(); });
}

QString DeviceThread::devicePath() const
{
    QString path;
    runInThread([&] { path = m_device->devicePath(); });
    return path;
}

void DeviceThread::setResponder(SimulatedDevice::Responder responder)
{
    runInThread([&] { m_device->setResponder(std::move(responder)); });
}

void DeviceThread::setAnswer(const QByteArray &bytes, std::chrono::milliseconds delay)
{
    runInThread([&] { m_device->setAnswer(bytes, delay); });
}

void DeviceThread::chatter(const QByteArray &bytes, std::chrono::milliseconds interval)
{
    runInThread([&] { m_device->chatter(bytes, interval); });
}

bool DeviceThread::setLosingWhileClosed(bool losing)
{
    bool done = false;
    // The watch's socket notifier, like the line's, belongs to the device thread.
    runInThread([&] { done = m_device->setLosingWhileClosed(losing); });
    return done;
}

void DeviceThread::setKeepingTimes(bool keep)
{
    runInThread([&] { m_device->setKeepingTimes(keep); });
}

int DeviceThread::requestCount() const
{
    int count = 0;
    runInThread([&] { count = m_device->requestCount(); });
    return count;
}

QList<qint64> DeviceThread::requestTimes() const
{
    QList<qint64> times;
    runInThread([&] { times = m_device->requestTimes(); });
    return times;
}

QList<qint64> DeviceThread::answerTimes() const
{
    QList<qint64> times;
    runInThread([&] { times = m_device->answerTimes(); });
    return times;
}
