#include "pollcycle.h"

#include "panel.h"
#include "readingtext.h"

#include <limits>

namespace {

const QByteArray kRequest = QByteArrayLiteral("1");
const QString kTwo = QStringLiteral("2");

// The 16-bit counters stop at their largest value instead of wrapping round to negative.
void incrementSaturating(qint16 &counter)
{
    if (counter < std::numeric_limits<qint16>::max())
        ++counter;
}

} // namespace

PollCycle::PollCycle(Panel *panel, const QString &portName, const QString &fileDirectory,
                     const QLocale &locale, QObject *parent)
    : QObject(parent), m_panel(panel), m_link(portName), m_writer(fileDirectory), m_locale(locale)
{
    connect(&m_writer, &ReadingWriter::problemChanged, this,
            [this](const QString &line) { m_panel->setFileProblem(line); });
}

void PollCycle::pollTick()
{
    // A Stop and a Start handled inside one wait register the poll timer afresh, and it can then
    // fire into the waiting poll.
    if (m_polling)
        return;
    m_polling = true;
    runPoll();
    m_polling = false;
    emit pollEnded();
}

void PollCycle::runPoll()
{
    // Requesting. A missing or busy port fails the open and the send; the wait then ends at once.
    const bool opened = m_link.isOpen() || m_link.open();
    m_link.send(kRequest);
    m_panel->setWatchdogEnabled(true);

    waitForReplyOrDeadline();

    // Taking the reply or counting the miss.
    const std::optional<qint64> waiting = m_link.bytesWaiting();
    const bool replied = waiting && *waiting > kShortestReply;
    const bool tookReading = replied && takeReading();
    if (tookReading)
        m_miss_count = 0;
    const bool late = m_wait_ticks >= kDeadlineTicks;
    if (late || !tookReading) {
        explainMisses(causeOfMiss(opened, waiting, replied, tookReading));
        countMiss();
    } else {
        explainMisses(MissCause());
    }

    // Releasing the link.
    m_panel->setWatchdogEnabled(false);
    m_link.close();

    // Reporting.
    if (m_miss_count > 4)
        m_panel->setText(Panel::Field::d_frekuensi, ReadingText::kPlaceholder);
    m_panel->setText(Panel::Field::Text3, QString::number(m_miss_count));
    advanceHeartbeat();

    // Recording.
    recordReading();
}

void PollCycle::waitForReplyOrDeadline()
{
    // The exit test can only change after an event (serial data, a watchdog tick, a click), so
    // every pass after the first sleeps until one arrives instead of spinning.
    QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents;
    for (;;) {
        m_panel->processEvents(flags);
        const std::optional<qint64> waiting = m_link.bytesWaiting();
        // A closed port (Stop, Exit, a vanished device) ends the wait.
        if (!waiting || *waiting > kShortestReply || m_wait_ticks >= kDeadlineTicks)
            return;
        flags = QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents;
    }
}

bool PollCycle::takeReading()
{
    const std::optional<QByteArray> reply = m_link.readAll();
    if (!reply)
        return false;
    const std::optional<QString> reading = ReadingText::fromReply(*reply, m_locale);
    if (!reading)
        return false;
    m_panel->setText(Panel::Field::d_frekuensi, *reading);
    return true;
}

void PollCycle::countMiss()
{
    // A poll without a reading counts like one that ran into the deadline: the watchdog count
    // starts afresh. A single tick left by an answered poll is carried over instead.
    m_wait_ticks = 0;
    incrementSaturating(m_miss_count);
}

MissCause PollCycle::causeOfMiss(bool opened, std::optional<qint64> waiting, bool replied,
                                 bool tookReading) const
{
    const QString port = m_link.portName();
    switch (m_link.failure()) {
    case SerialLink::Failure::PortMissing:
        return MissCause(MissCause::PortMissing, port, m_link.failureText());
    case SerialLink::Failure::PortRefused:
        return MissCause(MissCause::PortRefused, port, m_link.failureText());
    case SerialLink::Failure::PortBusy:
        return MissCause(MissCause::PortBusy, port, m_link.failureText());
    case SerialLink::Failure::DeviceGone:
        return MissCause(MissCause::DeviceGone, port, m_link.failureText());
    case SerialLink::Failure::Other:
        return MissCause(MissCause::PortFailed, port, m_link.failureText());
    case SerialLink::Failure::None:
        break;
    }
    // Closed under the wait by Stop or Exit: not the device's doing, the cause stands as it was.
    if (!opened || !waiting)
        return m_missCause;
    // A reply found at the deadline, or the last poll's reply found waiting when this one began.
    if (tookReading || (*waiting > 0 && !replied) || (*waiting == 0 && m_link.foundStaleBytes()))
        return MissCause(MissCause::LateReply, port);
    if (replied)
        return MissCause(MissCause::NotAReading, port);
    return MissCause(MissCause::NoReply, port);
}

void PollCycle::explainMisses(const MissCause &cause)
{
    // Said once when misses start or their cause changes, and once when readings come back.
    if (cause == m_missCause)
        return;
    if (cause.kind() == MissCause::None)
        qInfo("%s: readings again", qPrintable(m_link.portName()));
    else
        qWarning("%s: polls miss: %s", qPrintable(m_link.portName()), qPrintable(cause.logLine()));
    m_missCause = cause;
    m_panel->setMissCause(cause.text());
}

void PollCycle::advanceHeartbeat()
{
    incrementSaturating(m_blink_count);
    m_panel->setText(Panel::Field::indikator, QString::number(m_blink_count));
    if (m_panel->text(Panel::Field::indikator) == kTwo) {
        m_blink_count = 0;
        m_panel->setBackground(Panel::Field::indikator, Panel::kBlue);
    } else {
        m_panel->setBackground(Panel::Field::indikator, Panel::kLightBlue);
    }
}

void PollCycle::recordReading()
{
    // Handed over, never waited for: the poll keeps its time however slow the disk is.
    if (ReadingText::isAcceptable(m_panel->text(Panel::Field::d_frekuensi), m_locale))
        m_writer.submit(m_panel->text(Panel::Field::d_frekuensi));
}

void PollCycle::watchdogTick()
{
    ++m_wait_ticks;
    m_panel->setText(Panel::Field::Text1, QString::number(m_wait_ticks));
    m_panel->setBackground(Panel::Field::Text1, m_panel->text(Panel::Field::Text1) == kTwo
                                                    ? Panel::kBlue
                                                    : Panel::kLightBlue);
}

void PollCycle::resetCounters()
{
    m_blink_count = 0;
    m_miss_count = 0;
}

void PollCycle::releasePort()
{
    m_link.close();
}
