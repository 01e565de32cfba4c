// Measures the poll loop against the simulated device: CPU share and reply-to-poll-end latency.
#include "memorypanel.h"
#include "pollcycle.h"
#include "simulateddevice.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

using namespace std::chrono_literals;

namespace {

qint64 nowNs(clockid_t clock)
{
    timespec t{};
    ::clock_gettime(clock, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

struct Run
{
    double cpuPercent = 0;
    QList<qint64> latenciesNs;
    int polls = 0;
};

// Polls every 250 ms for the given time, the way the window's poll timer does.
Run pollFor(SimulatedDevice &device, std::chrono::seconds duration)
{
    QTemporaryDir dir;
    MemoryPanel panel;
    PollCycle cycle(&panel, device.devicePath(), dir.path(), QLocale(QLocale::Indonesian));
    QObject::connect(&panel.watchdog(), &QTimer::timeout, &cycle, &PollCycle::watchdogTick);
    Run run;
    QList<qint64> ends;
    QObject::connect(&cycle, &PollCycle::pollEnded, [&] {
        ends.append(nowNs(CLOCK_MONOTONIC));
        ++run.polls;
    });
    const int answersBefore = int(device.answerTimes().size());
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(250ms);
    QObject::connect(&timer, &QTimer::timeout, &cycle, &PollCycle::pollTick);

    const qint64 cpu0 = nowNs(CLOCK_PROCESS_CPUTIME_ID);
    const qint64 wall0 = nowNs(CLOCK_MONOTONIC);
    timer.start();
    QTimer::singleShot(duration, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const qint64 cpu = nowNs(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    const qint64 wall = nowNs(CLOCK_MONOTONIC) - wall0;
    run.cpuPercent = 100.0 * double(cpu) / double(wall);

    // Pair each answer with the first poll end after it.
    const QList<qint64> answers = device.answerTimes().mid(answersBefore);
    for (qint64 answer : answers) {
        auto end = std::lower_bound(ends.begin(), ends.end(), answer);
        if (end != ends.end())
            run.latenciesNs.append(*end - answer);
    }
    return run;
}

void printLatency(QList<qint64> ns)
{
    if (ns.isEmpty())
        return;
    std::sort(ns.begin(), ns.end());
    std::printf("  reply to end of poll over %lld polls: median %.3f ms, max %.3f ms\n",
                qlonglong(ns.size()), double(ns[ns.size() / 2]) / 1e6, double(ns.last()) / 1e6);
    std::printf("  (on real hardware a 7-byte reply takes 7.3 ms on the wire at 9600 8N1)\n");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const auto duration = std::chrono::seconds(argc > 1 ? std::atoi(argv[1]) : 20);
    SimulatedDevice device;
    if (!device.plugIn())
        return 1;

    device.setSilent();
    const Run silent = pollFor(device, duration);
    std::printf("silent device, 250 ms polls, %lld s: %d polls, CPU %.3f %% of one core\n",
                qlonglong(duration.count()), silent.polls, silent.cpuPercent);

    device.setAnswer("10000\r\n");
    const Run answering = pollFor(device, duration);
    std::printf("answering device, 250 ms polls, %lld s: %d polls, CPU %.3f %% of one core\n",
                qlonglong(duration.count()), answering.polls, answering.cpuPercent);
    printLatency(answering.latenciesNs);
    return 0;
}
