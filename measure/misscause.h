#pragma once

#include <QCoreApplication>
#include <QString>

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
        NoReply,
        LateReply,
        ShortReply,
        SlowMeter,
        NotAReading,
        DeviceGone
    };

    MissCause() = default;
    // systemText: the system's own words, as QSerialPort gave them, for the error output.
    // deadlineMs: the deadline that applied to the poll. detail: the reply's length in bytes
    // (ShortReply), or the meter's time to answer in ms (SlowMeter).
    MissCause(Kind kind, const QString &portName, const QString &systemText = {},
              int deadlineMs = 0, int detail = 0);

    Kind kind() const { return m_kind; }
    // One short line in the user's language: the cause and, where there is one, the fix.
    QString text() const;
    // The same for the error output, with the system's words where there are any.
    QString logLine() const;

    // Two causes are the same when they say the same.
    bool operator==(const MissCause &other) const
    {
        return m_kind == other.m_kind && logLine() == other.logLine();
    }

private:
    Kind m_kind = None;
    QString m_portName;
    QString m_systemText;
    int m_deadlineMs = 0;
    int m_detail = 0;
};
