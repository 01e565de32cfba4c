#include "seriallink.h"

#include "portsettings.h"

#include <QDeadlineTimer>

SerialLink::Failure SerialLink::openFailure() const
{
    if (const auto failure = systemOpenFailure())
        return *failure;
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return Failure::PortMissing;
    case QSerialPort::PermissionError:
        // A port that refuses this user is told by the system's part; what is left is a port that
        // another program has (on Windows a COM port has no permissions for users at all).
        return Failure::PortBusy;
    case QSerialPort::ResourceError:
        return Failure::DeviceGone;
    default:
        return Failure::Other; // e.g. a file that is not a serial port
    }
}

SerialLink::SerialLink(const QString &portName, QObject *parent)
    : MeterLine(parent), m_port(this), m_requestedName(portName)
{
    m_port.setPortName(PortSettings::deviceFor(portName));
    m_port.setBaudRate(PortSettings::kBaudRate);
    m_port.setDataBits(PortSettings::kDataBits);
    m_port.setParity(PortSettings::kParity);
    m_port.setStopBits(PortSettings::kStopBits);
    m_port.setFlowControl(PortSettings::kFlowControl);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::handleError);
    connect(&m_port, &QSerialPort::readyRead, this, &MeterLine::bytesArrived);
}

SerialLink::~SerialLink()
{
    close();
}

void SerialLink::knowLines()
{
    if (m_linesKnown)
        return;
    m_lines = AdapterLines::forDevice(m_port.portName());
    m_linesKnown = true;
}

bool SerialLink::isOpen() const
{
    return m_port.isOpen() && !m_failed;
}

bool SerialLink::open()
{
    if (m_failed)
        close();
    if (m_port.isOpen())
        return false;
    m_port.setPortName(PortSettings::deviceFor(m_requestedName));
    if (m_port.portName() != m_preparedDevice)
        m_portIsNew = true;
    m_preparedDevice = m_port.portName();
    if (m_portIsNew) {
        m_linesKnown = false;
        m_linePrepared = false;
        m_toldLineSettingsFailed = false;
        m_toldDtrFailed = false;
    }
    if (!m_linePrepared)
        m_linePrepared = prepareLine();
    m_dtrFailed = false;
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_portIsNew = true;
        noteFailure(openFailure());
        return false;
    }
    m_portIsNew = false;
    m_failure = Failure::None;
    m_failureText.clear();
    knowLines();
    applyModemLines();
    // A reply that came after its poll had given up waits in the driver (ptys and USB adapters keep
    // it across a close); it must never be taken as the answer to this poll.
    m_foundStaleBytes = driverHoldsBytes();
    m_port.clear(QSerialPort::Input);
    return true;
}

void SerialLink::raiseDataTerminalReady()
{
    if (m_port.setDataTerminalReady(true))
        return;
    m_dtrFailed = true;
    if (!m_toldDtrFailed) {
        m_toldDtrFailed = true;
        qWarning("%s: DTR, which its board needs to answer, could not be raised: %s",
                 qPrintable(m_port.portName()), qPrintable(m_port.errorString()));
    }
}

void SerialLink::close()
{
    m_failed = false;
    if (!m_port.isOpen())
        return;
    m_port.close();
    emit closed();
}

bool SerialLink::send(const QByteArray &bytes)
{
    if (!m_port.isOpen())
        return false;
    if (m_port.write(bytes) != bytes.size()) {
        noteFailure(Failure::SendFailed);
        return false;
    }
    // write() only queues; a close before the event loop runs again would lose the request. The
    // bytes go out while waiting here for the write to complete: on Windows the write is an
    // overlapped operation whose completion only a wait (or the event loop) collects, so flushing
    // in a loop would spin forever. The bound keeps a line that takes nothing from hanging a poll.
    QDeadlineTimer deadline(kWriteTimeout);
    while (!m_failed && m_port.bytesToWrite() > 0) {
        if (!m_port.waitForBytesWritten(deadline.remainingTime())) {
            // A failed port has said why already (the device went away).
            if (!m_failed)
                noteFailure(Failure::SendFailed);
            return false;
        }
    }
    return !m_failed;
}

std::optional<qint64> SerialLink::bytesWaiting() const
{
    // A failed port is as good as closed: the wait ends at once, before the close comes round.
    if (!isOpen())
        return std::nullopt;
    return m_port.bytesAvailable();
}

std::optional<QByteArray> SerialLink::readAll()
{
    if (!isOpen())
        return std::nullopt;
    return m_port.readAll();
}

std::optional<QByteArray> SerialLink::peekAll()
{
    if (!isOpen())
        return std::nullopt;
    return m_port.peek(m_port.bytesAvailable());
}

void SerialLink::handleError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        // The device is gone (cable pulled, adapter unplugged). Left open, QSerialPort reports the
        // error again on every pass of the event loop and keeps the CPU busy, so it is closed; but
        // not here: this may run inside the port's own waitForBytesWritten or waitForReadyRead,
        // whose loop goes on using what a close destroys. It is closed once control is back in
        // the event loop, and until then the link reports itself closed.
        if (!isOpen())
            return;
        m_failed = true;
        m_portIsNew = true; // whatever is plugged back may be another adapter
        noteFailure(Failure::DeviceGone);
        QMetaObject::invokeMethod(this, &SerialLink::closeAfterFailure, Qt::QueuedConnection);
        break;
    default:
        break;
    }
}

void SerialLink::closeAfterFailure()
{
    // A close in between (the poll's own, Stop, Exit) has settled it already.
    if (m_failed)
        close();
}

void SerialLink::noteFailure(Failure failure)
{
    m_failure = failure;
    m_failureText = m_port.errorString();
}
