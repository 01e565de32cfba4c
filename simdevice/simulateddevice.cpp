#include "simulateddevice.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#endif

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
    return !m_losing || watchOpens();
}

bool SimulatedDevice::setLosingWhileClosed(bool losing)
{
    m_losing = losing;
    return !losing || !isPluggedIn() || watchOpens();
}

bool SimulatedDevice::watchOpens()
{
#ifdef Q_OS_LINUX
    if (m_openWatch >= 0)
        return true;
    // The device holds the line open itself, so the far side never sees a hang-up at the
    // program's close; the opens and closes of the line's path tell when the program holds it.
    m_openWatch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_openWatch < 0)
        return false;
    if (::inotify_add_watch(m_openWatch, QFile::encodeName(m_path).constData(),
                            IN_OPEN | IN_CLOSE) < 0) {
        ::close(m_openWatch);
        m_openWatch = -1;
        return false;
    }
    m_othersHolding = 0;
    m_openNotifier = new QSocketNotifier(m_openWatch, QSocketNotifier::Read, this);
    connect(m_openNotifier, &QSocketNotifier::activated, this, &SimulatedDevice::followOpens);
    return true;
#else
    return false;
#endif
}

void SimulatedDevice::followOpens()
{
#ifdef Q_OS_LINUX
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_openWatch, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_OPEN)
                ++m_othersHolding;
            // A close the watch saw no open of (the line was open when the watch began) counts
            // for nothing. The last one clears what was sent but not read, for the next open.
            if ((event->mask & IN_CLOSE) && m_othersHolding > 0 && --m_othersHolding == 0)
                ::tcflush(m_slave, TCIFLUSH);
        }
    }
#endif
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
    delete m_openNotifier;
    m_openNotifier = nullptr;
    if (m_openWatch >= 0)
        ::close(m_openWatch);
    m_openWatch = -1;
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_master = m_slave = -1;
}

bool SimulatedDevice::write(const QByteArray &bytes)
{
    if (m_openWatch >= 0) {
        // The opens and closes up to this moment, not only those the event loop has passed on.
        followOpens();
        // Sent, and lost on a line no one holds open.
        if (m_othersHolding == 0)
            return isPluggedIn();
    }
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
