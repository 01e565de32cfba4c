// Measures the monitor's window polling a simulated device: CPU share, timing and latency.
#include "announcer.h"
#include "demogrid.h"
#include "devicethread.h"
#include "frekuensi.h"
#include "history.h"
#include "simulatedline.h"
#include "translation.h"
#include "trendwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace std::chrono_literals;

namespace {

const QByteArray kReply = QByteArrayLiteral("10000\r\n");
constexpr std::chrono::milliseconds kNominalDeadline{200};
constexpr std::chrono::milliseconds kCarriedOverDeadline{100};

qint64 nowNs(clockid_t clock = CLOCK_MONOTONIC)
{
    timespec t{};
    ::clock_gettime(clock, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

struct Run
{
    double threadCpuPercent = 0;
    double processCpuPercent = 0;
    // The device numbers requests from its start; this run's first is this number.
    qsizetype firstRequest = 0;
    QList<qint64> requests;
    QList<qint64> answers;
    QList<qint64> closes;
    QList<qint64> ticks;
};

// Records when the window's poll cycle closes the port, the end of every poll, and when the poll
// timer's event arrives, before the poll starts: a late request is then either a late timer or a
// slow start of the poll.
class CloseRecorder : public QObject
{
public:
    explicit CloseRecorder(Frekuensi &window)
    {
        QObject::connect(&window.pollCycle().link(), &MeterLine::closed,
                         [this] { m_times.append(nowNs()); });
        const_cast<QTimer &>(window.pollTimer()).installEventFilter(this);
    }
    QList<qint64> takeTimes() { return std::exchange(m_times, {}); }
    QList<qint64> takeTicks() { return std::exchange(m_ticks, {}); }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Timer)
            m_ticks.append(nowNs());
        return false;
    }

private:
    QList<qint64> m_times;
    QList<qint64> m_ticks;
};

// Polls at the given choice for the given time the way an operator's Start does.
Run pollFor(Frekuensi &window, CloseRecorder &closes, DeviceThread &device, const QString &choice,
            std::chrono::milliseconds duration)
{
    window.stop();
    window.findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(choice);
    const qsizetype requestsBefore = device.requestTimes().size();
    const qsizetype answersBefore = device.answerTimes().size();
    closes.takeTimes();
    closes.takeTicks();

    const qint64 thread0 = nowNs(CLOCK_THREAD_CPUTIME_ID);
    const qint64 process0 = nowNs(CLOCK_PROCESS_CPUTIME_ID);
    const qint64 wall0 = nowNs();
    window.start();
    // Where a click on Start leaves the focus. Stop and Start done here in code would otherwise
    // leave it in a text box, whose blinking caret repaints twice a second.
    window.findChild<QWidget *>(QStringLiteral("Command2"))->setFocus();
    QTimer::singleShot(duration, qApp, &QCoreApplication::quit);
    QApplication::exec();
    window.stop();
    const double wall = double(nowNs() - wall0);

    Run run;
    run.firstRequest = requestsBefore;
    run.threadCpuPercent = 100.0 * double(nowNs(CLOCK_THREAD_CPUTIME_ID) - thread0) / wall;
    run.processCpuPercent = 100.0 * double(nowNs(CLOCK_PROCESS_CPUTIME_ID) - process0) / wall;
    run.requests = device.requestTimes().mid(requestsBefore);
    run.answers = device.answerTimes().mid(answersBefore);
    run.closes = closes.takeTimes();
    run.ticks = closes.takeTicks();
    return run;
}

// For each event, the time to the first close after it.
QList<qint64> toNextClose(const QList<qint64> &events, const QList<qint64> &closes)
{
    QList<qint64> spans;
    for (qint64 event : events) {
        const auto close = std::lower_bound(closes.begin(), closes.end(), event);
        if (close != closes.end())
            spans.append(*close - event);
    }
    return spans;
}

struct Spread
{
    qint64 median = 0;
    qint64 p99 = 0;
    qint64 min = 0;
    qint64 max = 0;
};

Spread spread(QList<qint64> values)
{
    if (values.isEmpty())
        return {};
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values[values.size() * 99 / 100], values.first(),
            values.last()};
}

void printCpu(const char *what, const Run &run)
{
    std::printf("%s: %lld polls, CPU %.3f %% of one core (whole process with the device thread "
                "%.3f %%)\n",
                what, qlonglong(run.requests.size()), run.threadCpuPercent, run.processCpuPercent);
}

void printDeadline(const char *what, const QList<qint64> &spans, std::chrono::milliseconds nominal)
{
    const Spread s = spread(spans);
    std::printf("  %s, request to port closed over %lld polls: median %.3f ms, min %.3f ms, "
                "max %.3f ms (nominal %lld ms)\n",
                what, qlonglong(spans.size()), ms(s.median), ms(s.min), ms(s.max),
                qlonglong(nominal.count()));
}

void printPeriods(const QString &choice, const QList<qint64> &requests,
                  std::chrono::milliseconds nominal)
{
    qint64 worst = 0;
    int beyond2ms = 0;
    double sum = 0;
    for (qsizetype i = 1; i < requests.size(); ++i) {
        const qint64 error = requests[i] - requests[i - 1] - nominal.count() * 1'000'000;
        worst = std::max(worst, std::abs(error));
        beyond2ms += std::abs(error) > 2'000'000 ? 1 : 0;
        sum += double(error);
    }
    const qsizetype periods = std::max<qsizetype>(requests.size() - 1, 1);
    std::printf(
        "  %s: %lld periods, mean error %+.3f ms, largest |error| %.3f ms, %d beyond 2 ms\n",
        qPrintable(choice), qlonglong(requests.size() - 1), sum / double(periods) / 1e6, ms(worst),
        beyond2ms);
}

// The kernel's figures for this process's memory, in KiB.
QByteArray memoryFigures(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return "unknown";
    QByteArray figures;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS") || line.startsWith("VmHWM"))
            figures += line.simplified() + "  ";
    }
    return figures.trimmed();
}

// Child: shows the window as main() does, reports when it has first been painted, polls for a
// while and reports its memory.
class PaintWatch : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_paintedAt == 0)
            m_paintedAt = nowNs();
        return false;
    }
    qint64 m_paintedAt = 0;
};

int runStartupChild(int argc, char *argv[])
{
    const qint64 mainAt = nowNs();
    QApplication app(argc, argv);
    DeviceThread device;
    if (!device.plugIn())
        return 1;
    device.setAnswer(kReply);
    QTemporaryDir dir;
    Frekuensi window(device.devicePath(), dir.path());
    PaintWatch watch;
    window.installEventFilter(&watch);
    window.show();
    QTimer::singleShot(5s, &app, &QCoreApplication::quit);
    QApplication::exec();
    std::printf("painted %lld\nmain %lld\npolls %lld\nmemory %s\n", qlonglong(watch.m_paintedAt),
                qlonglong(mainAt), qlonglong(device.requestTimes().size()),
                memoryFigures(QCoreApplication::applicationPid()).constData());
    return 0;
}

QByteArray childLine(const QByteArray &output, const QByteArray &key)
{
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith(key + ' '))
            return line.mid(key.size() + 1);
    }
    return {};
}

void measureStartup()
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 spawnedAt = nowNs();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--startup-child")});
    child.waitForFinished(30'000);
    const QByteArray output = child.readAllStandardOutput();
    const qint64 painted = childLine(output, "painted").toLongLong();
    const qint64 main = childLine(output, "main").toLongLong();
    std::printf("start-up: window first painted %.1f ms after the process was started (%.1f ms "
                "after main), %s polls in 5 s\n",
                ms(painted - spawnedAt), ms(painted - main),
                childLine(output, "polls").constData());
    std::printf("  the same window after 5 s of polling: %s\n",
                childLine(output, "memory").constData());

    // The real program, on its own port (absent here, so every poll misses).
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(FREKUENSI_PROGRAM), {});
    if (!program.waitForStarted(10'000)) {
        std::printf("  frekuensi: could not be started\n");
        return;
    }
    QTimer::singleShot(5s, qApp, &QCoreApplication::quit);
    QApplication::exec();
    std::printf("  frekuensi itself after 5 s: %s\n",
                memoryFigures(program.processId()).constData());
    program.kill();
    program.waitForFinished();
}

// For callgrind: only the given number of polls, answered or silent, then quit.
int runPolls(Frekuensi &window, DeviceThread &device, bool answered, int polls)
{
    if (answered)
        device.setAnswer(kReply);
    else
        device.setResponder({});
    QObject::connect(&window.pollCycle(), &PollCycle::pollEnded,
                     [&window, polls, ended = 0]() mutable {
                         if (++ended == polls) {
                             window.stop();
                             QCoreApplication::quit();
                         }
                     });
    window.stop();
    window.findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(u"0,25 detik"_qs);
    window.start();
    window.findChild<QWidget *>(QStringLiteral("Command2"))->setFocus();
    return QApplication::exec();
}

// The period error's 95th percentile and largest, in ms.
std::pair<double, double> periodError(const QList<qint64> &requests,
                                      std::chrono::milliseconds nominal)
{
    QList<qint64> errors;
    for (qsizetype i = 1; i < requests.size(); ++i)
        errors.append(std::abs(requests[i] - requests[i - 1] - nominal.count() * 1'000'000));
    if (errors.isEmpty())
        return {0, 0};
    std::sort(errors.begin(), errors.end());
    return {ms(errors[errors.size() * 95 / 100]), ms(errors.last())};
}

// The answered and the silent device at 0,25 s, without the trend window, with it at 10 min
// (the program's own history), and with it at 24 h after a day of 0,25 s polls was fed in.
int measureTrend(Frekuensi &window, DeviceThread &device, std::chrono::seconds duration)
{
    CloseRecorder closes(window);
    device.setAnswer(kReply);
    pollFor(window, closes, device, u"0,25 detik"_qs, 2s);
    constexpr qint64 kDay = 24 * 3'600'000;
    History day(std::chrono::milliseconds{kDay});
    for (qint64 at = 0; at < kDay; at += 250)
        day.add(at, History::Outcome::Reading, 5000 + int(at / 250 % 17) - 8);
    TrendWindow own(window.pollCycle().history(), QLocale());
    TrendWindow fed(day, QLocale());
    fed.setSpan(TrendWindow::Day);
    for (TrendWindow *trend : {&own, &fed})
        QObject::connect(&window.pollCycle(), &PollCycle::pollEnded, trend,
                         &TrendWindow::pollEnded);
    std::printf("a day of 0,25 s polls kept: %zu bytes\n", day.memoryBytes());
    std::printf("%-28s %-9s %10s %12s %12s  %s\n", "trend window", "device", "CPU %", "p95 err ms",
                "max err ms", "memory");
    for (TrendWindow *trend : {static_cast<TrendWindow *>(nullptr), &own, &fed}) {
        if (trend)
            trend->show();
        for (const bool answered : {true, false}) {
            if (answered)
                device.setAnswer(kReply);
            else
                device.setResponder({});
            const Run run = pollFor(window, closes, device, u"0,25 detik"_qs, duration);
            const auto [p95, largest] = periodError(run.requests, 250ms);
            std::printf("%-28s %-9s %10.3f %12.3f %12.3f  %s\n",
                        !trend          ? "none"
                        : trend == &own ? "10 min, the program's own"
                                        : "24 h, a day fed in",
                        answered ? "answered" : "silent", run.threadCpuPercent, p95, largest,
                        memoryFigures(QCoreApplication::applicationPid()).constData());
        }
        if (trend)
            trend->hide();
    }
    return 0;
}

// The device in the band, below it and silent at 0,25 s, each with the announcements off and on:
// below the band and silent, an event passes 10 s and is announced within the run.
int measureAnnouncements(Frekuensi &window, DeviceThread &device, std::chrono::seconds duration)
{
    CloseRecorder closes(window);
    device.setAnswer(kReply);
    pollFor(window, closes, device, u"0,25 detik"_qs, 2s);
    int announced = 0;
    QObject::connect(window.announcer(), &Announcer::announced, [&announced] { ++announced; });
    std::printf("%-14s %-13s %10s %12s %12s %10s\n", "device", "announcements", "CPU %",
                "p95 err ms", "max err ms", "announced");
    // 10060 µs: 49,70 Hz.
    for (const char *state : {"50,00 Hz", "49,70 Hz", "silent"}) {
        for (const bool on : {false, true}) {
            if (on)
                QObject::connect(&window.pollCycle(), &PollCycle::pollEnded, window.announcer(),
                                 &Announcer::pollEnded);
            else
                QObject::disconnect(&window.pollCycle(), &PollCycle::pollEnded, window.announcer(),
                                    &Announcer::pollEnded);
            if (state[0] == 's')
                device.setResponder({});
            else
                device.setAnswer(state[1] == '0' ? kReply : QByteArrayLiteral("10060\r\n"));
            announced = 0;
            const Run run = pollFor(window, closes, device, u"0,25 detik"_qs, duration);
            const auto [p95, largest] = periodError(run.requests, 250ms);
            std::printf("%-14s %-13s %10.3f %12.3f %12.3f %10d\n", state, on ? "on" : "off",
                        run.threadCpuPercent, p95, largest, announced);
        }
    }
    return 0;
}

// The demo as an operator runs it, for a while at one poll a second: then the trend window's list
// of the last ten minutes' events and the first lines of the CSV it saves, in the user's notation.
int runDemo(std::chrono::seconds duration)
{
    const Translation translation;
    QTemporaryDir dir;
    auto line = std::make_unique<SimulatedLine>(QStringLiteral("demo"));
    auto grid = std::make_shared<DemoGrid>();
    QElapsedTimer clock;
    clock.start();
    line->setResponder([grid, clock](int) { return grid->answer(clock.elapsed()); });
    Frekuensi window(std::move(line), dir.path());
    window.show();
    QTimer::singleShot(duration, qApp, &QCoreApplication::quit);
    qApp->exec();
    window.showTrend();
    TrendWindow *trend = window.trendWindow();
    trend->setSpan(TrendWindow::TenMinutes);
    std::printf("%d events:\n", trend->eventList()->count());
    for (int i = 0; i < trend->eventList()->count(); ++i)
        std::printf("  %s\n", qPrintable(trend->eventList()->item(i)->text()));
    const QList<QByteArray> csv = trend->csv()().split('\n');
    std::printf("CSV, %lld lines:\n", qlonglong(csv.size()));
    for (qsizetype i = 0; i < std::min<qsizetype>(csv.size(), 6); ++i)
        std::printf("  %s\n", csv[i].trimmed().constData());
    window.exit();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QStringList args = [&] {
        QStringList list;
        for (int i = 1; i < argc; ++i)
            list.append(QString::fromLocal8Bit(argv[i]));
        return list;
    }();
    if (args.value(0) == u"--startup-child")
        return runStartupChild(argc, argv);

    QApplication app(argc, argv);
    if (args.value(0) == u"--demo")
        return runDemo(std::chrono::seconds(args.value(1, u"600"_qs).toInt()));
    if (args.value(0) == u"--demo")
        return runDemo(std::chrono::seconds(args.value(1, u"600"_qs).toInt()));
    DeviceThread device;
    if (!device.plugIn())
        return 1;
    QTemporaryDir dir;
    Frekuensi window(device.devicePath(), dir.path());
    window.show();

    if (args.value(0) == u"--polls")
        return runPolls(window, device, args.value(1) == u"answered", args.value(2).toInt());
    if (args.value(0) == u"--trend")
        return measureTrend(window, device, std::chrono::seconds(args.value(1, u"20"_qs).toInt()));
    if (args.value(0) == u"--announce")
        return measureAnnouncements(window, device,
                                    std::chrono::seconds(args.value(1, u"20"_qs).toInt()));

    const auto seconds = std::chrono::seconds(args.isEmpty() ? 20 : args.value(0).toInt());
    CloseRecorder closes(window);
    std::printf("platform %s; the simulated device answers from its own thread\n",
                qPrintable(QApplication::platformName()));

    // The first paint loads fonts and fills glyph caches; that belongs to start-up, measured below.
    device.setAnswer(kReply);
    pollFor(window, closes, device, u"0,25 detik"_qs, 2s);

    device.setResponder({});
    const Run silent = pollFor(window, closes, device, u"0,25 detik"_qs, seconds);
    printCpu("silent device, 0,25 detik", silent);
    printDeadline("watchdog deadline", toNextClose(silent.requests, silent.closes),
                  kNominalDeadline);

    // At least 200 answered polls for the latency figures.
    device.setAnswer(kReply);
    const Run answering = pollFor(window, closes, device, u"0,25 detik"_qs,
                                  std::max<std::chrono::milliseconds>(seconds, 51s));
    printCpu("answering device, 0,25 detik", answering);
    const Spread latency = spread(toNextClose(answering.answers, answering.closes));
    std::printf("  last reply byte written to port closed over %lld polls: median %.3f ms, 99th "
                "percentile %.3f ms, max %.3f ms\n",
                qlonglong(answering.answers.size()), ms(latency.median), ms(latency.p99),
                ms(latency.max));
    std::printf("  (physical floor: a 7-byte reply takes 7.3 ms on the wire at 9600 8N1, so on "
                "real hardware a poll ends no sooner than that after the request)\n");

    // An answer after one watchdog tick leaves that tick for the next, silent, poll.
    device.setResponder([](int request) {
        return request % 2 == 0 ? SimulatedDevice::Answer{kReply, 150ms}
                                : SimulatedDevice::Answer{};
    });
    const Run carried = pollFor(window, closes, device, u"0,50 detik"_qs, 10s);
    QList<qint64> silentRequests;
    for (qsizetype i = 0; i < carried.requests.size(); ++i) {
        // The run's first poll may be a silent one with no answered poll before it.
        if (i > 0 && (carried.firstRequest + i) % 2 == 1)
            silentRequests.append(carried.requests[i]);
    }
    printDeadline("after a carried-over tick", toNextClose(silentRequests, carried.closes),
                  kCarriedOverDeadline);

    std::printf("poll period error, from the request times the device saw:\n");
    printPeriods(u"0,25 detik"_qs, answering.requests, 250ms);
    std::printf("  the same polls seen at the poll timer's event, before the poll starts:\n");
    printPeriods(u"0,25 detik"_qs, answering.ticks, 250ms);
    QList<qint64> tickToRequest;
    for (qsizetype i = 0; i < std::min(answering.ticks.size(), answering.requests.size()); ++i)
        tickToRequest.append(answering.requests[i] - answering.ticks[i]);
    const Spread start = spread(tickToRequest);
    std::printf("  poll timer event to request at the device: median %.3f ms, max %.3f ms\n",
                ms(start.median), ms(start.max));
    device.setAnswer(kReply);
    for (const auto &[choice, interval] : {std::pair{u"0,50 detik"_qs, 500ms},
                                           {u"0,75 detik"_qs, 750ms},
                                           {u"1,00 detik"_qs, 1000ms}}) {
        const Run run = pollFor(window, closes, device, choice, interval * 16 + interval / 2);
        printPeriods(choice, run.requests, interval);
    }

    measureStartup();
    return 0;
}
