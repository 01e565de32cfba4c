#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

// One monitor per serial port on the machine. The first start holds a guard that the system
// releases by itself when the process ends, however it ends: flocks on Linux, a named mutex on
// Windows. A later start finds the guard held and either asks the running monitor of the same
// user to bring its window forward, over a channel only that user reaches, or learns which user's
// monitor holds it. Nothing another user can create blocks or switches off the guard.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // Machine: one for every user (the monitor and its port). User: one per user (the demo).
    enum class Scope { Machine, User };
    enum class Claim { First, SameUser, OtherUser };

    // The guard's name is made of key, such as "port3".
    SingleInstance(const QString &key, Scope scope, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Claims the guard for the monitor of portName. Nothing when this start is the first;
    // otherwise it has brought the running window forward (status 0) or told the operator whose
    // monitor polls the port (status 1), and the start is to end with that status.
    std::optional<int> claimOrHandOver(const QString &portName);
    // Lets the next start be the first; the window has gone, a last write may still be running.
    void release();

signals:
    // A second start asked for the window.
    void forwardRequested();
    // The installer asked the monitor to close, as its close control does.
    void closeRequested();

private:
    struct Guard;
    // Takes the guard, or finds who holds it (m_holder: that user, where the system tells it).
    Claim claim();
    // Asks the first start, of this user, to bring its window forward; false when it cannot.
    bool bringForward();
#ifndef Q_OS_WIN
    // The machine's step of claim(), after the user's.
    Claim claimMachine();
    // Takes a second start's requests from now on.
    void listen();
#endif

    QString m_key;
    Scope m_scope;
    QString m_holder;
    std::unique_ptr<Guard> m_guard;
};
