#pragma once

#include <QSerialPort>

#include "adapterlines.h"
#include "meterline.h"

#include <chrono>
#include <optional>

// The line to the measuring device through a serial port.
class SerialLink : public MeterLine
{
    Q_OBJECT

public:
    // The request takes about 1 ms at 9600 baud; a line that takes nothing for this long fails it.
    static constexpr std::chrono::milliseconds kWriteTimeout{100};

    explicit SerialLink(const QString &portName, QObject *parent = nullptr);
    ~SerialLink() override;

    // The device the link opens, or opened last: port 3's link where it exists (Linux).
    QString portName() const override { return m_port.portName(); }

    bool isOpen() const override;
    // Opens with the fixed settings.
    bool open() override;
    void close() override;
    // Waits, at most kWriteTimeout, until the bytes are written.
    bool send(const QByteArray &bytes) override;
    std::optional<qint64> bytesWaiting() const override;
    std::optional<QByteArray> readAll() override;
    std::optional<QByteArray> peekAll() override;
    Failure failure() const override { return m_failure; }
    QString failureText() const override { return m_failureText; }
    bool foundStaleBytes() const override { return m_foundStaleBytes; }
    bool ownUsbBoard() const override { return adapterLines().ownUsb(); }
    // The modem lines the link keeps for the adapter it found behind the port, looked up when the
    // port first opened or came back after a failed open; both off when DTR, which the adapter
    // needs, could not be raised at the last open.
    AdapterLines adapterLines() const { return m_dtrFailed ? AdapterLines() : m_lines; }

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
