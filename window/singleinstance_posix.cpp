// The guard on Linux, in two steps, neither of which trusts what another user can write.
// Per user: a flock in the user's own runtime folder, and a local socket beside it through which a
// second start of the same user asks the running monitor to come forward; each end checks that
// the other runs as this user. Per machine: a flock in /run/frekuensi, the folder the package
// makes for it, which only root and the serial group may write; the lock there counts only as a
// plain file of root or of a member of that group, and the folder itself serves where anything
// else stands at its name. No process is ever signalled.
#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Made by the package at install and at every boot: root's, writable by the serial group only.
const QString kMachineFolder = QStringLiteral("/run/frekuensi");
// How long a second start waits for the running monitor to answer; it may be starting itself.
constexpr auto kAnswerWait = 2s;
constexpr auto kConnectRetry = 50ms;
const QByteArray kForwardRequest = "forward\n";
const QByteArray kForwardDone = "ok\n";

// The user at the other end of a connected local socket; none when the system does not say.
std::optional<uid_t> peerUser(qintptr socket)
{
    struct ucred credentials = {};
    socklen_t size = sizeof credentials;
    if (socket < 0 || ::getsockopt(int(socket), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return std::nullopt;
    return credentials.uid;
}

QString userName(uid_t uid)
{
    const struct passwd *user = ::getpwuid(uid);
    return user ? QString::fromLocal8Bit(user->pw_name) : QString::number(uid);
}

// Whether the user is root or a member of the group, as its primary group or a supplementary one.
bool isRootOrMember(uid_t uid, gid_t group)
{
    if (uid == 0)
        return true;
    const struct passwd *user = ::getpwuid(uid);
    if (!user)
        return false;
    const QByteArray name = user->pw_name;
    const gid_t primary = user->pw_gid;
    if (primary == group)
        return true;
    int count = 32;
    std::vector<gid_t> groups(count);
    if (::getgrouplist(name.constData(), primary, groups.data(), &count) < 0) {
        groups.resize(count);
        if (::getgrouplist(name.constData(), primary, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(count);
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

// Opens, or else creates with exactly the mode, a lock file: never through a link, never waiting
// on a FIFO planted at the name. -1 and errno when neither works.
int openLock(const QByteArray &path, mode_t mode)
{
    constexpr int kOpen = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(path.constData(), kOpen);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.constData(), kOpen | O_CREAT | O_EXCL, mode);
        if (fd >= 0)
            ::fchmod(fd, mode); // whatever this start's umask
        else if (errno == EEXIST)
            fd = ::open(path.constData(), kOpen);
    }
    return fd;
}

// The process holding a flock on the file, from the kernel's table: lines such as
// "1: FLOCK  ADVISORY  WRITE 1234 00:19:5678 0 EOF" (a waiter's has "->" after the number).
// Only read, to name the holder's user; 0 when it is not listed or lives in another namespace.
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
    int userLock = -1;
    int machineLock = -1;
    QString socketPath;
    std::unique_ptr<QLocalServer> server;

    ~Guard()
    {
        server.reset();
        for (const int fd : {userLock, machineLock}) {
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
    // Qt gives the runtime folder only when it is this user's and nobody else's (0700).
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString base = runtime + u"/frekuensi-"_qs + m_key;
    m_guard->socketPath = base + u".socket"_qs;
    const QByteArray userPath = QFile::encodeName(base + u".lock"_qs);
    const int own = runtime.isEmpty() ? -1 : openLock(userPath, 0600);
    struct stat status;
    if (own < 0 || ::fstat(own, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid()) {
        qWarning("%s cannot serve to keep one monitor per user (%s): not guarded for this user",
                 userPath.constData(), own < 0 ? std::strerror(errno) : "not this user's file");
        if (own >= 0)
            ::close(own);
    } else {
        m_guard->userLock = own;
        if (::flock(own, LOCK_EX | LOCK_NB) != 0) {
            m_holder = userName(::geteuid());
            return Claim::SameUser;
        }
    }
    if (m_scope == Scope::Machine) {
        const Claim machine = claimMachine();
        if (machine != Claim::First)
            return machine;
    }
    // Only where this start holds the user's lock is a socket at the name a dead monitor's.
    if (m_guard->userLock >= 0)
        listen();
    return Claim::First;
}

SingleInstance::Claim SingleInstance::claimMachine()
{
    const QByteArray folder = QFile::encodeName(kMachineFolder);
    struct stat place;
    const bool there = ::stat(folder.constData(), &place) == 0;
    if (!there || !S_ISDIR(place.st_mode) || place.st_uid != 0 || (place.st_mode & S_IWOTH)) {
        qInfo("%s is not the package's folder (%s): one monitor per user, not one per machine",
              folder.constData(), !there ? std::strerror(errno) : "not root's, or open to all");
        return Claim::First;
    }
    const QByteArray group = [&] {
        const struct group *entry = ::getgrgid(place.st_gid);
        return entry ? QByteArray(entry->gr_name) : QByteArray::number(place.st_gid);
    }();
    const QByteArray path = folder + '/' + QFile::encodeName(m_key) + ".lock";
    int fd = openLock(path, 0640);
    struct stat file;
    if (fd < 0 || ::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode) ||
        !isRootOrMember(file.st_uid, place.st_gid)) {
        const bool reachable = fd >= 0 || errno != EACCES;
        qWarning("%s is not a lock file of root or group %s (%s): the folder guards instead",
                 path.constData(), group.constData(),
                 fd < 0                  ? std::strerror(errno)
                 : S_ISREG(file.st_mode) ? "a stranger's file"
                                         : "not a plain file");
        if (fd >= 0)
            ::close(fd);
        fd = reachable ? ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        if (fd < 0 || ::fstat(fd, &file) != 0) {
            qWarning("%s cannot be reached by a user outside group %s: one monitor per user, not "
                     "one per machine",
                     folder.constData(), group.constData());
            if (fd >= 0)
                ::close(fd);
            return Claim::First;
        }
    }
    m_guard->machineLock = fd;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return Claim::First;
    const pid_t holder = lockHolder(file);
    struct stat process;
    const QByteArray proc = "/proc/" + QByteArray::number(holder);
    if (holder > 0 && ::stat(proc.constData(), &process) == 0)
        m_holder = userName(process.st_uid);
    return Claim::OtherUser;
}

void SingleInstance::listen()
{
    // This start holds the user's lock: a socket left at the name is a dead monitor's.
    QLocalServer::removeServer(m_guard->socketPath);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_guard->socketPath)) {
        qWarning("%s: a second start cannot bring this window forward (%s)",
                 qPrintable(m_guard->socketPath), qPrintable(server->errorString()));
        return;
    }
    connect(server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_guard->server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (peerUser(socket->socketDescriptor()) != ::geteuid()) {
                socket->abort();
                continue;
            }
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine() && socket->bytesAvailable() < kForwardRequest.size())
                    return;
                if (socket->readLine(kForwardRequest.size() + 1) == kForwardRequest) {
                    emit forwardRequested();
                    socket->write(kForwardDone);
                }
                socket->disconnectFromServer();
            });
        }
    });
    m_guard->server = std::move(server);
}

bool SingleInstance::bringForward()
{
    if (!m_guard)
        return false;
    // The running monitor listens just after it takes its lock: a start at the same moment waits.
    const QDeadlineTimer deadline(kAnswerWait);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(m_guard->socketPath);
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(std::chrono::milliseconds(kConnectRetry).count());
    }
    if (peerUser(socket.socketDescriptor()) != ::geteuid())
        return false;
    socket.write(kForwardRequest);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return socket.readLine(kForwardDone.size() + 1) == kForwardDone;
}

void SingleInstance::release()
{
    m_guard.reset();
}
