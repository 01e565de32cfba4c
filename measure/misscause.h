#pragma once

#include "meterline.h"
#include "replytiming.h"

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <optional>

// Why the latest poll got no reading, told apart so that the operator knows what to do about it.
class MissCause
{
    Q_DECLARE_TR_FUNCTIONS(MissCause)

public:
    enum Kind {
        None,
        PortMissing,
        PortRefused,
        PortBusy,
        PortFailed, // any other refusal to open, in the system's words
        NoHardware, // a serial port's name with no UART behind it (Linux's ttyS0 to ttyS3)
        SendFailed,
        // A meter silent, or answering after the port was closed: on a line that loses what comes
        // then (a UART's), a late reply is never seen.
        NoReply,
        NoReplyLater,  // none later either, on a line that has kept a late reply till the next open
        NoReplyOwnUsb, // no reply, from a board with its own USB, which the monitor gives DTR
        LateReply,
        ShortReply,
        SlowMeter,
        SlowMeterLater, // a slow meter whose time to answer the polls cannot see
        NotAReading,
        DeviceGone
    };

    // What one poll saw, as far as telling why it got no reading goes.
    struct Seen
    {
        MeterLine::Failure failure = MeterLine::Failure::None;
        QString failureText; // the system's words for the failure
        bool opened = false;
        bool ownUsbBoard = false;      // the port's adapter is a board with its own USB
        bool staleAtOpen = false;      // a reply of an earlier request was waiting at open
        bool lineKeepsReplies = false; // the port has kept a reply that came while it was closed
        std::optional<qint64> waiting; // bytes waiting after the wait; nothing: the port closed
        bool replied = false;          // enough bytes for a reply were waiting
        bool tookReading = false;
        QByteArray part;    // what was waiting after the wait, when too little for a reply
        int deadlineMs = 0; // the deadline that applied to this poll
        // The meter's time to answer, when its replies keep coming after the deadline.
        std::optional<ReplyTiming::Answer> slowAnswer;
        int slowDeadlineMs = 0; // the deadline of a poll whose wait starts afresh
    };

    MissCause() = default;
    // systemText: the system's own words, as QSerialPort gave them, for the error output.
    // deadlineMs: the deadline that applied to the poll. detail: the reply's length in bytes
    // (ShortReply), or the meter's time to answer in ms (SlowMeter; SlowMeterLater: what it is
    // later than).
    MissCause(Kind kind, const QString &portName, const QString &systemText = {},
              int deadlineMs = 0, int detail = 0);

    // Why a poll that got no reading missed; nothing when Stop or Exit ended it, which is not the
    // meter's doing and changes no cause.
    static std::optional<MissCause> of(const QString &portName, const Seen &seen);
    // Whether bytes too few for a reply are a whole one, ended by its line end, rather than the
    // start of one still on its way.
    static bool isWholeReply(const QByteArray &part);

    Kind kind() const { return m_kind; }
    // One short line in the user's language: the cause and, where there is one, the fix.
    QString text() const;
    // The same for the error output, with the system's words where there are any.
    QString logLine() const;

    // Two causes are the same when they say the same; a slow meter's times within a fifth of each
    // other are one time, as far as the polls can tell it (a figure at a rounding's edge).
    bool operator==(const MissCause &other) const
    {
        if (m_kind == SlowMeter && other.m_kind == SlowMeter)
            return std::abs(m_detail - other.m_detail) * 5 <= std::max(m_detail, other.m_detail);
        return m_kind == other.m_kind && logLine() == other.logLine();
    }

private:
    Kind m_kind = None;
    QString m_portName;
    QString m_systemText;
    int m_deadlineMs = 0;
    int m_detail = 0;
};
