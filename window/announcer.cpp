#include "announcer.h"

#include "eventtext.h"
#include "pollcycle.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

#include <algorithm>

Announcer::Announcer(QWidget *window, const PollCycle &cycle, const QLocale &locale)
    : QObject(window), m_window(window), m_cycle(cycle), m_locale(locale)
{
    // Without a tray (a desktop that has none, the offscreen platform) the title and the beep
    // tell it all the same.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        makeTray();
}

Announcer::~Announcer() = default;

void Announcer::makeTray()
{
    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(tr("Show Frekuensi"), this, &Announcer::showRequested);
    m_mute = m_menu->addAction(tr("Mute announcements"));
    m_mute->setCheckable(true);
    m_mute->setChecked(m_muted);
    connect(m_mute, &QAction::toggled, this, &Announcer::setMuted);
    m_menu->addSeparator();
    m_menu->addAction(tr("Exit"), this, &Announcer::exitRequested);

    m_tray = std::make_unique<QSystemTrayIcon>(m_window->windowIcon());
    m_tray->setContextMenu(m_menu.get());
    m_tray->setToolTip(m_window->windowTitle());
    // A click on the icon or on its message brings the windows forward, as a tray icon does.
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    emit showRequested();
            });
    connect(m_tray.get(), &QSystemTrayIcon::messageClicked, this, &Announcer::showRequested);
    // The tooltip says what the title says, the demo's own title too.
    m_window->installEventFilter(this);
    m_tray->show();
}

bool Announcer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::WindowTitleChange && m_tray)
        m_tray->setToolTip(m_window->windowTitle());
    return QObject::eventFilter(watched, event);
}

void Announcer::pollEnded()
{
    look(m_cycle.events(), m_cycle.history(), m_cycle.history().now());
}

void Announcer::look(const GridEvents &events, const History &history, qint64 nowMs)
{
    // The title names the lasting event that started last.
    const std::vector<const GridEvents::Event *> open = events.open();
    const GridEvents::Event *named = nullptr;
    for (const GridEvents::Event *event : open) {
        if (event->durationMs(nowMs) >= kAfterMs && (!named || event->startMs >= named->startMs))
            named = event;
    }
    setNamed(named ? std::optional(named->kind) : std::nullopt);
    std::vector<std::pair<GridEvents::Kind, qint64>> told;
    for (const GridEvents::Event *event : open) {
        if (event->durationMs(nowMs) < kAfterMs)
            continue;
        const std::pair key{event->kind, event->startMs};
        told.push_back(key);
        if (m_muted || std::find(m_told.begin(), m_told.end(), key) != m_told.end())
            continue;
        QApplication::beep();
        if (m_tray) {
            m_tray->showMessage(titleFor(event->kind),
                                EventText::line(*event, nowMs, m_locale, history),
                                QSystemTrayIcon::Warning);
        }
        emit announced(event->kind);
    }
    // Only what lasts now is kept, and an event is never told twice while it lasts.
    m_told = std::move(told);
}

QString Announcer::titleFor(GridEvents::Kind kind) const
{
    return m_baseTitle + u" — "_qs + EventText::title(kind);
}

void Announcer::setNamed(std::optional<GridEvents::Kind> kind)
{
    if (kind == m_named)
        return;
    if (!m_named)
        m_baseTitle = m_window->windowTitle();
    m_named = kind;
    m_window->setWindowTitle(kind ? titleFor(*kind) : m_baseTitle);
}

void Announcer::setMuted(bool muted)
{
    m_muted = muted;
    if (m_mute && m_mute->isChecked() != muted)
        m_mute->setChecked(muted);
}
