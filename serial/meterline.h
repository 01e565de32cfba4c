#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

// The request/reply line to the measuring device as the poll cycle uses it: the serial port, or a
// simulated meter inside the program (the demo, and the poll cycle's tests on every platform).
// Every operation that cannot complete reports it.
class MeterLine : public QObject
{
    Q_OBJECT

public:
    // Why the line could not be opened, why the request could not be sent, or why the line was
    // closed under a poll. NoHardware: a serial port's name with no UART behind it.
    enum class Failure {
        None,
        PortMissing,
        PortRefused,
        PortBusy,
        NoHardware,
        SendFailed,
        DeviceGone,
        Other
    };

    using QObject::QObject;

    // What the misses lines call the line: the device it opens, or opened last.
    virtual QString portName() const = 0;
    virtual bool isOpen() const = 0;
    // Opens the line and discards anything it held from before; fails on an open line.
    virtual bool open() = 0;
    virtual void close() = 0;
    // Sends the bytes as they are; fails on a closed line.
    virtual bool send(const QByteArray &bytes) = 0;
    // Received bytes not yet read; nothing (a failure, never 0) when the line is closed: a wait
    // that Stop cuts short ends on that.
    virtual std::optional<qint64> bytesWaiting() const = 0;
    // Every byte waiting at that moment; afterwards nothing is waiting. Nothing when closed.
    virtual std::optional<QByteArray> readAll() = 0;
    // The received bytes not yet read, left waiting; nothing when the line is closed.
    virtual std::optional<QByteArray> peekAll() = 0;
    // The latest failure since the last successful open, and the system's words for it.
    virtual Failure failure() const = 0;
    virtual QString failureText() const = 0;
    // Whether the last open found bytes from before (a reply that came after its poll gave up).
    virtual bool foundStaleBytes() const = 0;
    // Whether the line leads to a board with a USB port of its own, which answers only with DTR
    // raised: its silence is told apart.
    virtual bool ownUsbBoard() const { return false; }

signals:
    // The line has just been closed, by a poll, Stop, Exit or an error.
    void closed();
    // Bytes have arrived on the open line.
    void bytesArrived();
};
