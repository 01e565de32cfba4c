#include "misscause.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>

namespace {

// The group that may open the port, to name in the fix; Debian's for serial ports when unknown.
// Looked up once a port: its name comes from the user database, which may wait on a network
// (NSS), and the line is made again at every poll while the port refuses this user.
QString owningGroup(const QString &portName)
{
    static QMutex mutex;
    static QHash<QString, QString> known;
    const QMutexLocker lock(&mutex);
    auto found = known.constFind(portName);
    if (found == known.constEnd()) {
        const QFileInfo port(portName.startsWith(u'/') ? portName : u"/dev/"_qs + portName);
        const QString group = port.group();
        found = known.insert(portName, group.isEmpty() ? u"dialout"_qs : group);
    }
    return *found;
}

} // namespace

MissCause::MissCause(Kind kind, const QString &portName, const QString &systemText, int deadlineMs,
                     int detail)
    : m_kind(kind), m_portName(portName), m_systemText(systemText), m_deadlineMs(deadlineMs),
      m_detail(detail)
{}

std::optional<MissCause> MissCause::of(const QString &port, const Seen &seen)
{
    using Failure = MeterLine::Failure;
    switch (seen.failure) {
    case Failure::PortMissing:
        return MissCause(PortMissing, port, seen.failureText);
    case Failure::PortRefused:
        return MissCause(PortRefused, port, seen.failureText);
    case Failure::PortBusy:
        return MissCause(PortBusy, port, seen.failureText);
    case Failure::NoHardware:
        return MissCause(NoHardware, port, seen.failureText);
    case Failure::SendFailed:
        return MissCause(SendFailed, port, seen.failureText);
    case Failure::DeviceGone:
        return MissCause(DeviceGone, port, seen.failureText);
    case Failure::Other:
        return MissCause(PortFailed, port, seen.failureText);
    case Failure::None:
        break;
    }
    // Closed under the wait by Stop or Exit.
    if (!seen.opened || !seen.waiting)
        return std::nullopt;
    if (isWholeReply(seen.part))
        return MissCause(ShortReply, port, {}, seen.deadlineMs, int(seen.part.size()));
    if (seen.replied && !seen.tookReading)
        return MissCause(NotAReading, port);
    if (seen.slowAnswer)
        return MissCause(seen.slowAnswer->later ? SlowMeterLater : SlowMeter, port, {},
                         seen.slowDeadlineMs, seen.slowAnswer->ms);
    // A reply read after the deadline, one or part of one found there, or the last poll's reply
    // found waiting at open.
    if (seen.tookReading || *seen.waiting > 0 || seen.staleAtOpen)
        return MissCause(LateReply, port, {}, seen.deadlineMs);
    if (seen.ownUsbBoard)
        return MissCause(NoReplyOwnUsb, port, {}, seen.deadlineMs);
    return MissCause(seen.lineKeepsReplies ? NoReplyLater : NoReply, port, {}, seen.deadlineMs);
}

bool MissCause::isWholeReply(const QByteArray &part)
{
    // Six bytes ending in CR may be a reply of seven cut by the deadline, its LF on the way.
    constexpr qsizetype kCutAfterCr = 6;
    return part.endsWith('\n') || (part.endsWith('\r') && part.size() < kCutAfterCr);
}

QString MissCause::text() const
{
    switch (m_kind) {
    case None:
        return {};
    case PortMissing:
#ifdef Q_OS_LINUX
        // Port 3 is the udev link to the operator's adapter, or ttyS2 until one was chosen.
        return tr("Port %1 does not exist: plug the meter's adapter in; to choose it as port 3, "
                  "run sudo frekuensi-port list")
            .arg(m_portName);
#else
        return tr("Port %1 does not exist: is the meter's cable or adapter plugged in?")
            .arg(m_portName);
#endif
    case PortRefused:
        return tr("Port %1 refuses this user: join the group %2, then log in again")
            .arg(m_portName, owningGroup(m_portName));
    case PortBusy:
        return tr("Port %1 is held by another program: close that program").arg(m_portName);
    case PortFailed:
        return tr("Port %1 cannot be opened: %2").arg(m_portName, m_systemText);
    case NoHardware:
        return tr("There is no serial port hardware at %1: plug the meter's adapter in and "
                  "choose it as port 3 with sudo frekuensi-port list and sudo frekuensi-port use")
            .arg(m_portName);
    case SendFailed:
        return tr("The request could not be sent to the meter: %1").arg(m_systemText);
    case NoReply:
        return tr("No reply from the meter within %1 ms: the meter is silent, or answers later "
                  "than that")
            .arg(m_deadlineMs);
    case NoReplyLater:
        return tr("No reply from the meter within %1 ms, nor later: the meter is silent")
            .arg(m_deadlineMs);
    case NoReplyOwnUsb:
        // Such a board sends nothing while DTR is off; the operator need not look at the line.
        return tr("No reply from the meter within %1 ms: its board has its own USB port and the "
                  "monitor gives it the signal it needs (DTR), so check that the board's program "
                  "runs and answers at 9600 baud")
            .arg(m_deadlineMs);
    case LateReply:
        return tr("The meter's reply came too late (after %1 ms)").arg(m_deadlineMs);
    case ShortReply:
        return tr("The meter's reply is too short (%1 bytes)").arg(m_detail);
    case SlowMeter:
        return tr("The meter answers in about %1 ms, after the %2 ms deadline: its replies are "
                  "missed or read a poll late")
            .arg(m_detail)
            .arg(m_deadlineMs);
    case SlowMeterLater:
        return tr("The meter answers later than %1 ms, after the deadline: its replies are missed "
                  "or read a poll late")
            .arg(m_detail);
    case NotAReading:
        return tr("The meter's reply is not a reading");
    case DeviceGone:
        return tr("The meter went away during the poll: cable or adapter pulled?");
    }
    return {};
}

QString MissCause::logLine() const
{
    if (m_kind == PortFailed || m_kind == SendFailed)
        return text(); // the system's words are in it already
    return m_systemText.isEmpty() ? text() : u"%1 (%2)"_qs.arg(text(), m_systemText);
}
