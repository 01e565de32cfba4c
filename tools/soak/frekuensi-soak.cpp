// frekuensi-soak [cycles]: polls back to back against the simulated device, mixing answers,
// silence, garbage and unplugging, and prints open descriptors and resident memory as it goes.
#include "devicethread.h"
#include "memorypanel.h"
#include "pollcycle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <random>

namespace {

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

qlonglong residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// One request in 20 unanswered, 3 in 20 garbage of up to 1 KiB, the rest a good reading.
SimulatedDevice::Answer answerFor(int request, std::mt19937 &random)
{
    switch (request % 20) {
    case 0:
        return {};
    case 5:
    case 11:
    case 17: {
        QByteArray garbage(int(random() % 1024) + 1, Qt::Uninitialized);
        for (char &byte : garbage)
            byte = char(random());
        return {garbage};
    }
    default:
        return {QByteArrayLiteral("10000\r\n")};
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 10'000;
    constexpr int kUnplugEvery = 97;
    constexpr int kReportEvery = 1000;

    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("ttyS2"));
    DeviceThread device;
    // The port path stays put across unplugging, as a fixed serial port's does.
    auto plugIn = [&] {
        if (!device.plugIn())
            return false;
        QFile::remove(port);
        return QFile::link(device.devicePath(), port);
    };
    if (!plugIn())
        return 1;
    device.setKeepingTimes(false);
    device.setResponder(
        [random = std::mt19937(1)](int request) mutable { return answerFor(request, random); });

    MemoryPanel panel;
    PollCycle cycle(&panel, port, dir.path(), QLocale(QLocale::Indonesian, QLocale::Indonesia));
    QObject::connect(&panel.watchdog(), &QTimer::timeout, &cycle, &PollCycle::watchdogTick);

    int done = 0;
    int readings = 0;
    int unplugs = 0;
    const int fdsAtStart = openDescriptors();
    const qlonglong rssAtStart = residentKiB();
    std::printf("start: %d descriptors open, %lld KiB resident\n", fdsAtStart, rssAtStart);
    std::fflush(stdout);

    QTimer next;
    next.setSingleShot(true);
    QObject::connect(&next, &QTimer::timeout, [&] {
        if (done % kUnplugEvery == kUnplugEvery - 1) {
            // Pulled between polls: the next poll finds no port, the one after a new device.
            device.unplug();
            ++unplugs;
            cycle.pollTick();
            if (!plugIn())
                QCoreApplication::exit(1);
        } else {
            cycle.pollTick();
        }
        readings += cycle.missCount() == 0 ? 1 : 0;
        if (++done % kReportEvery == 0 || done == cycles) {
            std::printf("%6d cycles: %d descriptors open, %lld KiB resident; %d readings, %d "
                        "unplugs, miss count %d\n",
                        done, openDescriptors(), residentKiB(), readings, unplugs,
                        int(cycle.missCount()));
            std::fflush(stdout);
        }
        if (done == cycles)
            QCoreApplication::quit();
        else
            next.start(0);
    });
    next.start(0);
    const int result = QCoreApplication::exec();
    std::printf("end: %d descriptors open (%+d), %lld KiB resident (%+lld)\n", openDescriptors(),
                openDescriptors() - fdsAtStart, residentKiB(), residentKiB() - rssAtStart);
    return result;
}
