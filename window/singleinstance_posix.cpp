// The guard on Linux: a flock on a file in the serial lock files' folder, shared by every user;
// the holder is found in the kernel's table of locks, and brought forward with SIGUSR1.
#include "singleinstance.h"

#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Where Debian keeps serial lock files: writable by every user, emptied at boot.
const QString kSharedFolder = QStringLiteral("/run/lock");

// The writing end of the pipe that carries a bring-forward signal into the event loop.
int g_forwardPipe = -1;

void forwardSignalled(int)
{
    const char byte = 1;
    if (g_forwardPipe >= 0) [[maybe_unused]]
        const ssize_t written = ::write(g_forwardPipe, &byte, 1);
}

// The process holding a flock on the file, from the kernel's table: lines such as
// "1: FLOCK  ADVISORY  WRITE 1234 00:19:5678 0 EOF" (a waiter's has "->" after the number).
// 0 when the holder is not listed or lives in another process namespace.
pid_t lockHolder(const struct stat &file)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    const QByteArray id = QByteArray::number(major(file.st_dev), 16).rightJustified(2, '0') + ':' +
                          QByteArray::number(minor(file.st_dev), 16).rightJustified(2, '0') + ':' +
                          QByteArray::number(quint64(file.st_ino));
    // Read whole: the kernel's files report no size, so they never seem to have more to read.
    const QList<QByteArray> lines = locks.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 6 && fields[1] == "FLOCK" && fields[5] == id)
            return pid_t(fields[4].toInt());
    }
    return 0;
}

} // namespace

struct SingleInstance::Guard
{
    int lock = -1;
    int pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> forward;
    pid_t holder = 0;

    ~Guard()
    {
        // A late signal is ignored rather than written to a descriptor that is gone.
        if (g_forwardPipe == pipe[1] && pipe[1] >= 0) {
            ::signal(SIGUSR1, SIG_IGN);
            g_forwardPipe = -1;
        }
        forward.reset();
        for (const int fd : {lock, pipe[0], pipe[1]}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
};

SingleInstance::SingleInstance(const QString &key, Scope scope, QObject *parent)
    : QObject(parent), m_key(key), m_scope(scope)
{}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim()
{
    m_guard = std::make_unique<Guard>();
    // The machine's guard goes where every user's start finds it; the user's own runtime folder
    // serves where that is not writable, and for a guard of one user.
    QString folder = kSharedFolder;
    if (m_scope == Scope::User || ::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QByteArray path = QFile::encodeName(folder + u"/frekuensi-"_qs + m_key + u".lock"_qs);
    // Never created over what stands there: a link or a pipe planted at the name is not opened.
    constexpr int kOpen = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(path.constData(), kOpen);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.constData(), kOpen | O_CREAT | O_EXCL, 0644);
        if (fd >= 0)
            ::fchmod(fd, 0644); // every user's start must open it, whatever this one's umask
        else if (errno == EEXIST)
            fd = ::open(path.constData(), kOpen);
    }
    struct stat status;
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        qWarning("%s cannot serve to keep one monitor running (%s): not guarded", path.constData(),
                 fd < 0 ? std::strerror(errno) : "not a plain file");
        if (fd >= 0)
            ::close(fd);
        return Claim::First;
    }
    m_guard->lock = fd;

    // Ready for a second start's signal before it can find this one holding the guard.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_guard->pipe) == 0) {
        g_forwardPipe = m_guard->pipe[1];
        struct sigaction action = {};
        action.sa_handler = forwardSignalled;
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGUSR1, &action, nullptr);
        m_guard->forward =
            std::make_unique<QSocketNotifier>(m_guard->pipe[0], QSocketNotifier::Read);
        connect(m_guard->forward.get(), &QSocketNotifier::activated, this, [this] {
            char bytes[16];
            while (::read(m_guard->pipe[0], bytes, sizeof bytes) > 0) {
            }
            emit forwardRequested();
        });
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return Claim::First;

    m_guard->forward.reset();
    m_guard->holder = lockHolder(status);
    struct stat process;
    const QByteArray proc = "/proc/" + QByteArray::number(m_guard->holder);
    if (m_guard->holder > 0 && ::stat(proc.constData(), &process) == 0) {
        if (process.st_uid == ::geteuid())
            return Claim::SameUser;
        if (const struct passwd *user = ::getpwuid(process.st_uid))
            m_holder = QString::fromLocal8Bit(user->pw_name);
    }
    return Claim::OtherUser;
}

bool SingleInstance::bringForward()
{
    return m_guard && m_guard->holder > 0 && ::kill(m_guard->holder, SIGUSR1) == 0;
}

void SingleInstance::release()
{
    m_guard.reset();
}
