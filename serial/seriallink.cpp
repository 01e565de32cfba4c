#include "seriallink.h"

#include "portsettings.h"

#include <QDeadlineTimer>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// Linux drops DTR on the last close when HUPCL is set, and many boards reset on that edge; the
// port is opened and closed on every poll. QSerialPort restores the settings it found at open just
// before it closes, so the flag has to be cleared in those found settings, before QSerialPort
// opens.
void clearHangupOnClose(const QString &portName)
{
    const QByteArray path =
        portName.startsWith(u'/') ? portName.toLocal8Bit() : ("/dev/" + portName.toLocal8Bit());
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return; // QSerialPort's own open reports the missing or refused port
    termios settings{};
    if (::tcgetattr(fd, &settings) == 0 && (settings.c_cflag & HUPCL)) {
        settings.c_cflag &= ~tcflag_t(HUPCL);
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    ::close(fd);
}
#else
void clearHangupOnClose(const QString &) {}
#endif

} // namespace

SerialLink::SerialLink(const QString &portName, QObject *parent) : QObject(parent), m_port(this)
{
    m_port.setPortName(portName);
    m_port.setBaudRate(PortSettings::kBaudRate);
    m_port.setDataBits(PortSettings::kDataBits);
    m_port.setParity(PortSettings::kParity);
    m_port.setStopBits(PortSettings::kStopBits);
    m_port.setFlowControl(PortSettings::kFlowControl);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::handleError);
}

SerialLink::~SerialLink()
{
    close();
}

bool SerialLink::isOpen() const
{
    return m_port.isOpen();
}

bool SerialLink::open()
{
    if (m_port.isOpen())
        return false;
    clearHangupOnClose(m_port.portName());
    if (!m_port.open(QIODevice::ReadWrite))
        return false;
    // A reply that came after its poll had given up waits in the driver (ptys and USB adapters keep
    // it across a close); it must never be taken as the answer to this poll.
    m_port.clear(QSerialPort::Input);
    return true;
}

void SerialLink::close()
{
    if (!m_port.isOpen())
        return;
    m_port.close();
    emit closed();
}

bool SerialLink::send(const QByteArray &bytes)
{
    if (!m_port.isOpen())
        return false;
    if (m_port.write(bytes) != bytes.size())
        return false;
    // write() only queues; a close before the event loop runs again would lose the request. The
    // bytes go out while waiting here for the write to complete: on Windows the write is an
    // overlapped operation whose completion only a wait (or the event loop) collects, so flushing
    // in a loop would spin forever. The bound keeps a line that takes nothing from hanging a poll.
    QDeadlineTimer deadline(kWriteTimeout);
    while (m_port.isOpen() && m_port.bytesToWrite() > 0) {
        if (!m_port.waitForBytesWritten(deadline.remainingTime()))
            return false;
    }
    return m_port.isOpen();
}

std::optional<qint64> SerialLink::bytesWaiting() const
{
    if (!m_port.isOpen())
        return std::nullopt;
    return m_port.bytesAvailable();
}

std::optional<QByteArray> SerialLink::readAll()
{
    if (!m_port.isOpen())
        return std::nullopt;
    return m_port.readAll();
}

void SerialLink::handleError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        // The device is gone (cable pulled, adapter unplugged). Left open, QSerialPort reports the
        // error again on every pass of the event loop and keeps the CPU busy; closed, the poll sees
        // a closed port and counts a miss.
        close();
        break;
    default:
        break;
    }
}
