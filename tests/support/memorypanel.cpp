#include "memorypanel.h"

#include "pollcycle.h"

#include <QCoreApplication>

MemoryPanel::MemoryPanel(QObject *parent) : QObject(parent)
{
    m_watchdog.setTimerType(Qt::PreciseTimer);
    m_watchdog.setInterval(PollCycle::kWatchdogInterval);
    m_texts.insert(Field::d_frekuensi, QStringLiteral("00,00"));
}

void MemoryPanel::setWatchdogEnabled(bool enabled)
{
    if (enabled)
        m_watchdog.start();
    else
        m_watchdog.stop();
}

void MemoryPanel::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    ++m_passes;
    QCoreApplication::processEvents(flags);
}
