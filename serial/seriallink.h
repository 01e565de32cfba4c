#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include "adapterlines.h"

#include <chrono>
#include <optional>

// The request/reply link to the measuring device; every operation that cannot complete reports it.
class SerialLink : public QObject
{
    Q_OBJECT

public:
    // The request takes about 1 ms at 9600 baud; a line that takes nothing for this long fails it.
    static constexpr std::chrono::milliseconds kWriteTimeout{100};

    // Why the port could not be opened, why the request could not be sent, or why the port was
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

    explicit SerialLink(const QString &portName, QObject *parent = nullptr);
    ~SerialLink() override;

    // The device the link opens, or opened last: port 3's link where it exists (Linux).
    QString portName() const { return m_port.portName(); }

    bool isOpen() const;
    // Opens with the fixed settings and discards anything the port held from before.
    bool open();
    void close();
    // Sends the bytes as they are and waits, at most kWriteTimeout, until they are written.
    bool send(const QByteArray &bytes);
    // Received bytes not yet read; nothing (a failure, never 0) when the port is closed.
    std::optional<qint64> bytesWaiting() const;
    std::optional<QByteArray> readAll();
    // The received bytes not yet read, left waiting; nothing when the port is closed.
    std::optional<QByteArray> peekAll();
    // The latest failure since the last successful open, and the system's words for it.
    Failure failure() const { return m_failure; }
    QString failureText() const { return m_failureText; }
    // Whether the last open found bytes from before (a reply that came after its poll gave up).
    bool foundStaleBytes() const { return m_foundStaleBytes; }
    // The modem lines the link keeps for the adapter it found behind the port, looked up when the
    // port first opened or came back after a failed open; both off when DTR, which the adapter
    // needs, could not be raised at the last open.
    AdapterLines adapterLines() const { return m_dtrFailed ? AdapterLines() : m_lines; }

signals:
    // The port has just been closed, by a poll, Stop, Exit or an error.
    void closed();

private:
    // Each platform's own part (seriallink_posix.cpp, seriallink_win.cpp).
    // Before QSerialPort opens: the line settings it will find, and restore at close, made such
    // that neither the open nor the close raises a modem line that m_lines keeps off. Returns
    // whether that holds for the later opens of this port appearance.
    bool prepareLine();
    // Right after the open: the modem lines as m_lines says, where Qt's restore at close will not
    // undo that by raising one.
    void applyModemLines();
    // DTR raised for a board that needs it; a failure is said once a port appearance.
    void raiseDataTerminalReady();
    // Whether the driver holds received bytes (QSerialPort has read nothing yet).
    bool driverHoldsBytes() const;
    // The failure a refused open stands for, where the system tells more than QSerialPort's code.
    std::optional<Failure> systemOpenFailure() const;

    Failure openFailure() const;
    void handleError(QSerialPort::SerialPortError error);
    void closeAfterFailure();
    void noteFailure(Failure failure);

    QSerialPort m_port;
    QString m_requestedName;
    Failure m_failure = Failure::None;
    QString m_failureText;
    // A fatal error was reported and the port is still to be closed.
    bool m_failed = false;
    bool m_foundStaleBytes = false;
    AdapterLines m_lines;
    // The device the line was prepared for, and whether it is new: it never opened, or an open
    // failed since (unplugged, or held by another program), so what is behind the name may be
    // another adapter, and its driver may have started from its stored settings.
    QString m_preparedDevice;
    bool m_portIsNew = true;
    // The preparation holds for this port appearance; until it does, every open tries it again.
    bool m_linePrepared = false;
    // m_lines is this port appearance's: looked up once the port is there (listing the ports
    // reads the system's device database, far too slow for every poll of a missing port).
    bool m_linesKnown = false;
    void knowLines();
    // Said once a port appearance on the error output: the line settings could not be made, DTR
    // could not be raised.
    bool m_toldLineSettingsFailed = false;
    bool m_toldDtrFailed = false;
    // DTR could not be raised at the last open.
    bool m_dtrFailed = false;
};
