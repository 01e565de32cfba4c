// The serial link's own part on Linux (and other Unix systems): the line settings and modem lines
// through termios and ioctl.
#include "seriallink.h"

#include "portsettings.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

static_assert(PortSettings::kBaudRate == 9600, "the settings below write B9600");

QByteArray devicePath(const QString &portName)
{
    return portName.startsWith(u'/') ? QFile::encodeName(portName)
                                     : "/dev/" + QFile::encodeName(portName);
}

// The lock file QSerialPort takes for the port: LCK.. and the port's name without /dev/ (a '/'
// made '_'), in the first of its folders that is readable and holds the file or may take it
// (qtserialport 6.4.2, src/serialport/qserialport_unix.cpp: serialPortLockFilePath()).
QString qtLockFilePath(const QString &portName)
{
    static const QStringList folders{
        u"/var/lock"_qs,
        u"/etc/locks"_qs,
        u"/var/spool/locks"_qs,
        u"/var/spool/uucp"_qs,
        u"/tmp"_qs,
        u"/var/tmp"_qs,
        u"/var/lock/lockdev"_qs,
        u"/run/lock"_qs,
        QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
    QString name = portName.startsWith(u"/dev/"_qs) ? portName.mid(5) : portName;
    name.replace(u'/', u'_');
    for (const QString &folder : folders) {
        const QString path = folder + u"/LCK.."_qs + name;
        const QFileInfo info(folder);
        if (info.isReadable() && (QFile::exists(path) || info.isWritable()))
            return path;
    }
    return {};
}

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

} // namespace

// Linux raises DTR and RTS at every open of a tty, and drops them at the last close when
// hang-up-on-close (HUPCL) is set: a board that resets on DTR would reset at every poll. With the
// flag cleared the lines stay up between polls, and such a board resets once, at the first poll.
// QSerialPort restores at close the settings it found at open, so the flag is cleared in those
// found settings, before it opens; so is the speed made 9600 there, since a board with its own USB
// reboots into its loader when DTR drops at 1200 baud, and the restore would otherwise put back
// whatever speed the last program left. Checked at every open: another program may have used the
// port in between. A port that another program holds by QSerialPort's lock file (without taking
// the tty for itself) is left alone: its lines and speed are that program's, and QSerialPort's
// own open refuses it.
bool SerialLink::prepareLine()
{
    QLockFile lock(qtLockFilePath(m_port.portName()));
    if (!lock.fileName().isEmpty() && !lock.tryLock(0))
        return false; // a live owner (a stale lock file is removed, as QSerialPort's open does)
    const int fd = ::open(devicePath(m_port.portName()).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false; // QSerialPort's own open reports the missing or refused port
    termios settings{};
    if (::tcgetattr(fd, &settings) == 0 &&
        ((settings.c_cflag & HUPCL) || ::cfgetospeed(&settings) != B9600 ||
         ::cfgetispeed(&settings) != B9600)) {
        settings.c_cflag &= ~tcflag_t(HUPCL);
        ::cfsetospeed(&settings, B9600);
        ::cfsetispeed(&settings, B9600);
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    ::close(fd);
    return false;
}

// The open has raised both lines. A board with its own USB needs DTR, which its driver may not
// have raised; asserting a line that is up changes nothing on it. Neither line is lowered: the next
// open raises it again, a pulse at every poll on a board that resets on it.
void SerialLink::applyModemLines()
{
    if (m_lines.dataTerminalReady())
        raiseDataTerminalReady();
}

bool SerialLink::driverHoldsBytes() const
{
    int waiting = 0;
    return ::ioctl(m_port.handle(), FIONREAD, &waiting) == 0 && waiting > 0;
}

// QSerialPort reports a refused, a busy and a locked port all as PermissionError; its text, the
// system's own words for the errno, tells them apart.
std::optional<SerialLink::Failure> SerialLink::systemOpenFailure() const
{
#ifdef Q_OS_LINUX
    if (noUartBehind(m_port))
        return Failure::NoHardware;
#endif
    if (m_port.error() == QSerialPort::PermissionError &&
        (m_port.errorString() == qt_error_string(EACCES) ||
         m_port.errorString() == qt_error_string(EPERM)))
        return Failure::PortRefused;
    return std::nullopt;
}
