#include "simulateddevice.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

qint64 monotonicNanoseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace

SimulatedDevice::SimulatedDevice(QObject *parent) : QObject(parent)
{
    setAnswer(QByteArrayLiteral("10000.0"));
}

SimulatedDevice::~SimulatedDevice()
{
    unplug();
}

void SimulatedDevice::setAnswer(const QByteArray &bytes, std::chrono::milliseconds delay)
{
    m_responder = [bytes, delay](int) { return Answer{bytes, delay}; };
}

bool SimulatedDevice::plugIn()
{
    if (isPluggedIn())
        return true;
    char name[256] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    ::cfsetispeed(&raw, B9600);
    ::cfsetospeed(&raw, B9600);
    raw.c_cflag |= CLOCAL | CREAD;
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        m_master = m_slave = -1;
        return false;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_path = QString::fromLocal8Bit(name);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SimulatedDevice::readRequests);
    return true;
}

void SimulatedDevice::chatter(const QByteArray &bytes, std::chrono::milliseconds interval)
{
    delete m_chatter;
    m_chatter = nullptr;
    if (bytes.isEmpty())
        return;
    m_chatter = new QTimer(this);
    m_chatter->setInterval(interval);
    // A full line buffer refuses the bytes; the device just goes on talking.
    connect(m_chatter, &QTimer::timeout, this, [this, bytes] { write(bytes); });
    m_chatter->start();
}

void SimulatedDevice::unplug()
{
    chatter({}, {});
    qDeleteAll(m_pending);
    m_pending.clear();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_master = m_slave = -1;
}

bool SimulatedDevice::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return done == bytes.size();
}

void SimulatedDevice::readRequests()
{
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: all read. EIO: no one holds the line open, which cannot last, the device does.
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '1')
                continue;
            const int request = m_requests++;
            if (m_keepingTimes)
                m_requestTimes.append(monotonicNanoseconds());
            emit requestReceived(request);
            if (m_responder && isPluggedIn())
                answerLater(request, m_responder(request));
        }
    }
}

void SimulatedDevice::answerLater(int request, const Answer &answer)
{
    if (answer.bytes.isEmpty())
        return;
    auto send = [this, request, bytes = answer.bytes] {
        if (write(bytes)) {
            if (m_keepingTimes)
                m_answerTimes.append(monotonicNanoseconds());
            emit answered(request);
        }
    };
    if (answer.delay.count() <= 0) {
        send();
        return;
    }
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(answer.delay);
    connect(timer, &QTimer::timeout, this, [this, timer, send] {
        m_pending.removeOne(timer);
        timer->deleteLater();
        send();
    });
    m_pending.append(timer);
    timer->start();
}
