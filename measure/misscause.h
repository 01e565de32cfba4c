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
        NoReply,
        LateReply,
        NotAReading,
        DeviceGone
    };

    MissCause() = default;
    // systemText: the system's own words, as QSerialPort gave them, for the error output.
    MissCause(Kind kind, const QString &portName, const QString &systemText = {});

    Kind kind() const { return m_kind; }
    // One short line in the user's language: the cause and, where there is one, the fix.
    QString text() const;
    // The same for the error output, with the system's words where there are any.
    QString logLine() const;

    bool operator==(const MissCause &other) const { return m_kind == other.m_kind; }

private:
    Kind m_kind = None;
    QString m_portName;
    QString m_systemText;
};
