#include "simulatedline.h"

#include <QTimer>

SimulatedLine::SimulatedLine(const QString &name, QObject *parent) : MeterLine(parent), m_name(name)
{
    setAnswer(QByteArrayLiteral("10000.0"));
}

SimulatedLine::~SimulatedLine()
{
    // The timers are children; they go with the line, and nothing is said of the close.
    m_open = false;
}

bool SimulatedLine::open()
{
    if (m_open)
        return false;
    if (!m_pluggedIn) {
        fail(Failure::PortMissing, QStringLiteral("The simulated meter is unplugged"));
        return false;
    }
    m_open = true;
    m_failure = Failure::None;
    m_failureText.clear();
    m_foundStaleBytes = !m_kept.isEmpty();
    m_kept.clear();
    m_received.clear();
    return true;
}

void SimulatedLine::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_received.clear();
    emit closed();
}

bool SimulatedLine::send(const QByteArray &bytes)
{
    if (!m_open)
        return false;
    for (const char byte : bytes) {
        if (byte != '1')
            continue;
        const int request = m_requests++;
        emit requestReceived(request);
        const MeterAnswer answer = m_responder ? m_responder(request) : MeterAnswer();
        if (answer.bytes.isEmpty())
            continue;
        // Delivered by a timer even without a delay, as a port's bytes come with an event: the
        // poll's wait sleeps until one wakes it.
        auto *timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, timer, request, bytes = answer.bytes] {
            m_onTheirWay.removeOne(timer);
            timer->deleteLater();
            arrive(request, bytes);
        });
        m_onTheirWay.append(timer);
        timer->start(std::max(answer.delay, std::chrono::milliseconds(0)));
    }
    return true;
}

void SimulatedLine::arrive(int request, const QByteArray &bytes)
{
    (m_open ? m_received : m_kept).append(bytes);
    emit answered(request);
    if (m_open)
        emit bytesArrived();
}

std::optional<qint64> SimulatedLine::bytesWaiting() const
{
    if (!m_open)
        return std::nullopt;
    return m_received.size();
}

std::optional<QByteArray> SimulatedLine::readAll()
{
    if (!m_open)
        return std::nullopt;
    return std::exchange(m_received, {});
}

std::optional<QByteArray> SimulatedLine::peekAll()
{
    if (!m_open)
        return std::nullopt;
    return m_received;
}

void SimulatedLine::unplug()
{
    m_pluggedIn = false;
    qDeleteAll(std::exchange(m_onTheirWay, {}));
    m_kept.clear();
    if (m_open) {
        fail(Failure::DeviceGone, QStringLiteral("The simulated meter was unplugged"));
        close();
    }
}

void SimulatedLine::fail(Failure failure, const QString &text)
{
    m_failure = failure;
    m_failureText = text;
}
