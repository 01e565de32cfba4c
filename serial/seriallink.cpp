#include "seriallink.h"

#include "portsettings.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <qt_windows.h>
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

#ifdef Q_OS_LINUX
// Linux makes ttyS0 to ttyS3 whether or not a UART is behind them; opening one without fails with
// an I/O error, and its serial info says "unknown" (type 0). A node for a port the kernel does not
// have at all fails with "no such device or address".
bool noUartBehind(const QSerialPort &port)
{
    const QString path =
        port.portName().startsWith(u'/') ? port.portName() : u"/dev/"_qs + port.portName();
    const QString name = QFileInfo(QFileInfo(path).canonicalFilePath()).fileName();
    static const QRegularExpression serialName(u"^ttyS[0-9]+$"_qs);
    if (!serialName.match(name).hasMatch())
        return false;
    if (port.errorString() == qt_error_string(ENXIO))
        return true;
    if (port.errorString() != qt_error_string(EIO))
        return false;
    QFile type(u"/sys/class/tty/%1/type"_qs.arg(name));
    return type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0";
}
#endif

// QSerialPort reports a refused, a busy and a locked port all as PermissionError; its text, the
// system's own words for the cause, tells them apart. On Windows a COM port has no permissions for
// users: access is denied because another program has it.
SerialLink::Failure classifyOpenFailure(const QSerialPort &port)
{
#ifdef Q_OS_LINUX
    if (noUartBehind(port))
        return SerialLink::Failure::NoHardware;
#endif
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return SerialLink::Failure::PortMissing;
    case QSerialPort::PermissionError:
#ifdef Q_OS_UNIX
        if (port.errorString() == qt_error_string(EACCES) ||
            port.errorString() == qt_error_string(EPERM))
            return SerialLink::Failure::PortRefused;
#endif
        return SerialLink::Failure::PortBusy;
    case QSerialPort::ResourceError:
        return SerialLink::Failure::DeviceGone;
    default:
        return SerialLink::Failure::Other; // e.g. a file that is not a serial port
    }
}

} // namespace

SerialLink::SerialLink(const QString &portName, QObject *parent)
    : QObject(parent), m_port(this), m_requestedName(portName)
{
    m_port.setPortName(PortSettings::deviceFor(portName));
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
    return m_port.isOpen() && !m_failed;
}

bool SerialLink::open()
{
    if (m_failed)
        close();
    if (m_port.isOpen())
        return false;
    m_port.setPortName(PortSettings::deviceFor(m_requestedName));
    clearHangupOnClose(m_port.portName());
    if (!m_port.open(QIODevice::ReadWrite)) {
        noteFailure(classifyOpenFailure(m_port));
        return false;
    }
    m_failure = Failure::None;
    m_failureText.clear();
    // A reply that came after its poll had given up waits in the driver (ptys and USB adapters keep
    // it across a close); it must never be taken as the answer to this poll.
    // The driver is asked: QSerialPort has read nothing yet.
    m_foundStaleBytes = false;
#ifdef Q_OS_UNIX
    int waiting = 0;
    m_foundStaleBytes = ::ioctl(m_port.handle(), FIONREAD, &waiting) == 0 && waiting > 0;
#elif defined(Q_OS_WIN)
    COMSTAT status{};
    DWORD errors = 0;
    m_foundStaleBytes = ClearCommError(m_port.handle(), &errors, &status) && status.cbInQue > 0;
#endif
    m_port.clear(QSerialPort::Input);
    return true;
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
