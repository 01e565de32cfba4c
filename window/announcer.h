#pragma once

#include "gridevents.h"

#include <QLocale>
#include <QObject>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class History;
class PollCycle;
class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

// Tells the operator of an event that has lasted kAfterMs, even with the monitor's window behind
// others: while it lasts the window's title names it, so the taskbar shows it; once, as it passes
// kAfterMs, the system's beep sounds and, where the desktop has a system tray, the tray icon's
// message tells it. Shorter events are only listed. Muting stops the beep and the messages, not the
// title, until Start. It looks at the events when a poll has ended: no timer of its own.
class Announcer : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kAfterMs = 10'000;

    // The tray icon is made only where the desktop has a tray, with the window's icon.
    Announcer(QWidget *window, const PollCycle &cycle, const QLocale &locale);
    ~Announcer() override;

    // Names in the title the event that has lasted kAfterMs at nowMs (of two, the one that started
    // last), and announces each one once as it passes kAfterMs.
    void look(const GridEvents &events, const History &history, qint64 nowMs);

    bool isMuted() const { return m_muted; }
    QSystemTrayIcon *trayIcon() const { return m_tray.get(); }

public slots:
    // Looks at the poll cycle's events now: after each poll, and after Stop, which ends them.
    void pollEnded();
    void setMuted(bool muted);

signals:
    // The beep sounded (and the tray told it) for an event of this kind.
    void announced(GridEvents::Kind kind);
    // The tray menu's or the icon's requests, for the window to carry out.
    void showRequested();
    void exitRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void makeTray();
    void setNamed(std::optional<GridEvents::Kind> kind);
    QString titleFor(GridEvents::Kind kind) const;

    QWidget *m_window;
    const PollCycle &m_cycle;
    QLocale m_locale;
    // The window's own title, with no event in it ("Frekuensi", the demo's "Frekuensi (demo)").
    QString m_baseTitle;
    std::optional<GridEvents::Kind> m_named;
    // The lasting events already announced (or passed while muted), by kind and start.
    std::vector<std::pair<GridEvents::Kind, qint64>> m_told;
    bool m_muted = false;
    std::unique_ptr<QMenu> m_menu; // the tray keeps no hold on its menu
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QAction *m_mute = nullptr;
};
