#include "pollcycle.h"

#include "panel.h"
#include "readingtext.h"
#include "seriallink.h"

#include <QAbstractEventDispatcher>

#include <algorithm>
#include <cmath>
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
    : PollCycle(panel, std::make_unique<SerialLink>(portName), fileDirectory, locale, parent)
{}

PollCycle::PollCycle(Panel *panel, std::unique_ptr<MeterLine> line, const QString &fileDirectory,
                     const QLocale &locale, QObject *parent)
    : QObject(parent), m_panel(panel), m_link(std::move(line)), m_writer(fileDirectory),
      m_locale(locale)
{
    connect(&m_writer, &ReadingWriter::problemChanged, this,
            [this](const QString &line) { m_panel->setFileProblem(line); });
    connect(m_link.get(), &MeterLine::closed, this, &PollCycle::wakeTheWait);
    connect(m_link.get(), &MeterLine::bytesArrived, this, &PollCycle::wakeTheWait);
}

PollCycle::~PollCycle()
{
    // The line goes after this object's members, and its close says so: not to this one.
    disconnect(m_link.get(), nullptr, this, nullptr);
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
    using Clock = ReplyTiming::Clock;
    MissCause::Seen seen;
    // Two watchdog ticks, or one when a tick was carried over from the last poll.
    seen.deadlineMs = int((kDeadlineTicks - std::clamp(m_wait_ticks, 0, kDeadlineTicks - 1)) *
                          kWatchdogInterval.count());

    // Requesting. A missing or busy port fails the open and the send; the wait then ends at once.
    const bool wasOpen = m_link->isOpen();
    seen.opened = wasOpen || m_link->open();
    seen.ownUsbBoard = m_link->ownUsbBoard();
    seen.staleAtOpen = !wasOpen && seen.opened && m_link->foundStaleBytes();
    // A port that would not open may be another adapter, with another driver, once it does.
    m_lineKeepsReplies = seen.opened && (m_lineKeepsReplies || seen.staleAtOpen);
    seen.lineKeepsReplies = m_lineKeepsReplies;
    if (!wasOpen && seen.opened)
        m_timing.portOpened(Clock::now(), seen.staleAtOpen);
    const bool sent = m_link->send(kRequest);
    if (sent)
        m_timing.requestSent(Clock::now());
    m_panel->setWatchdogEnabled(true);

    // A request that could not be sent has no reply to wait for.
    if (!seen.opened || sent)
        waitForReplyOrDeadline();

    // Taking the reply or counting the miss.
    seen.waiting = m_link->bytesWaiting();
    seen.replied = seen.waiting && *seen.waiting > kShortestReply;
    if (seen.waiting && *seen.waiting > 0 && !seen.replied)
        seen.part = m_link->peekAll().value_or(QByteArray());
    const bool shortReply = MissCause::isWholeReply(seen.part);
    const bool late = m_wait_ticks >= kDeadlineTicks;
    if (seen.replied || shortReply)
        m_timing.replySeen(Clock::now());
    seen.tookReading = seen.replied && takeReading();
    if (seen.tookReading)
        m_miss_count = 0;
    // A reply, or part of one, there at the deadline came late; so did one waiting at open.
    m_timing.pollEnded(seen.staleAtOpen ||
                       (late && seen.waiting && *seen.waiting > 0 && !shortReply));
    if (late || !seen.tookReading) {
        seen.failure = m_link->failure();
        seen.failureText = m_link->failureText();
        if (m_timing.meterIsSlow())
            seen.slowAnswer = m_timing.answer();
        seen.slowDeadlineMs = int(kDeadlineTicks * kWatchdogInterval.count());
        const std::optional<MissCause> cause = MissCause::of(m_link->portName(), seen);
        if (cause)
            report(*cause);
        countMiss();
        // A poll that Stop or Exit cut short is no miss of the meter's: the stop is kept.
        if (cause && !seen.tookReading) {
            m_history.add(History::Outcome::Miss);
            m_events.miss(m_history.now(), m_miss_count, cause->text());
        }
    } else {
        report(MissCause());
    }
    if (seen.tookReading) {
        // The reading as displayed, in hundredths of a hertz.
        const double shown = m_locale.toDouble(m_panel->text(Panel::Field::d_frekuensi));
        const int centihertz = int(std::clamp(std::round(shown * 100), -2e9, 2e9));
        m_history.add(History::Outcome::Reading, centihertz);
        m_events.reading(m_history.now(), centihertz);
    }

    // Releasing the link.
    m_panel->setWatchdogEnabled(false);
    m_link->close();
    m_timing.portClosed(Clock::now());

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
        const std::optional<qint64> waiting = m_link->bytesWaiting();
        // A closed port (Stop, Exit, a vanished device) ends the wait.
        if (!waiting || *waiting > kShortestReply || m_wait_ticks >= kDeadlineTicks)
            return;
        flags = QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents;
    }
}

bool PollCycle::takeReading()
{
    const std::optional<QByteArray> reply = m_link->readAll();
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

void PollCycle::report(const MissCause &cause)
{
    if (const std::optional<MissReport::Line> line =
            m_report.pollEnded(cause, MissReport::Clock::now())) {
        if (line->recovered)
            qInfo("%s: %s", qPrintable(m_link->portName()), qPrintable(line->text));
        else
            qWarning("%s: %s", qPrintable(m_link->portName()), qPrintable(line->text));
    }
    const QString box = m_report.boxLine();
    if (box != m_missLine) {
        m_missLine = box;
        m_panel->setMissCause(box);
    }
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

void PollCycle::wakeTheWait()
{
    // The wait re-tests its exit after each pass of the event loop; a pass that handled only
    // events posted to the thread may go on to sleep (Windows' dispatcher does, when it delivered
    // them before looking at its messages, and timers and a serial port's received bytes come as
    // posted events there), and then a tick, a reply or a close that ended the wait would be
    // noticed only at the next event. Waking the dispatcher makes the pass return.
    if (m_polling)
        if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(thread()))
            dispatcher->wakeUp();
}

void PollCycle::watchdogTick()
{
    ++m_wait_ticks;
    wakeTheWait();
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
    m_link->close();
    // While stopped the adapter may be swapped: whether the line keeps late replies is learnt anew.
    m_lineKeepsReplies = false;
    if (m_history.lastOutcome() != History::Outcome::Stop)
        m_history.add(History::Outcome::Stop);
    m_events.stop(m_history.now());
}
