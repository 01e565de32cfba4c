// frekuensi-demo: the monitor polling a simulated 50 Hz grid meter on a pseudo-terminal, writing
// its own freq.text in the user's data folder.
#include "frekuensi.h"
#include "simulateddevice.h"
#include "singleinstance.h"
#include "translation.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

// A grid that drifts around 50 Hz, now and then leaves 48–52 Hz and, once a minute or so at one
// poll a second, goes silent for seven polls so that the misses and "00,00" can be seen.
SimulatedDevice::Answer gridAnswer(int request)
{
    static double hertz = 50.0;
    auto *random = QRandomGenerator::global();
    hertz = std::clamp(hertz + (random->generateDouble() - 0.5) * 0.2, 49.0, 51.0);
    if (request % 60 >= 50 && request % 60 < 57)
        return {};
    double shown = hertz;
    if (random->bounded(15) == 0)
        shown = random->bounded(2) ? 52.4 : 47.6;
    // r is the half-period in microseconds: f = 1,000,000 / (2r).
    const double r = 1'000'000.0 / (2.0 * shown);
    return {QByteArray::number(qRound(r)).rightJustified(5, '0') + "\r\n",
            std::chrono::milliseconds(20 + random->bounded(40))};
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const Translation translation;
    // Made-up readings must never reach the freq.text that the real monitor writes beside itself,
    // wherever the demo is installed or copied to: the demo keeps its own in the user's data
    // folder.
    QCoreApplication::setApplicationName(QStringLiteral("frekuensi-demo"));
    const QString fileDirectory =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (fileDirectory.isEmpty() || !QDir().mkpath(fileDirectory))
        return 1;
    // One demo per user; it polls its own line, so it never stands in the real monitor's way.
    SingleInstance guard(u"demo"_qs, SingleInstance::Scope::User);
    if (const std::optional<int> status = guard.claimOrHandOver(u"the simulated meter"_qs))
        return *status;
    SimulatedDevice device;
    if (!device.plugIn())
        return 1;
    device.setResponder(gridAnswer);
    Frekuensi window(device.devicePath(), fileDirectory);
    window.setWindowTitle(QStringLiteral("Frekuensi (demo)"));
    qInfo("The demo writes its readings to %s",
          qPrintable(QDir::toNativeSeparators(window.pollCycle().readingWriter().path())));
    QObject::connect(&guard, &SingleInstance::forwardRequested, &window, &Frekuensi::bringForward);
    window.show();
    const int status = app.exec();
    guard.release();
    return status;
}
