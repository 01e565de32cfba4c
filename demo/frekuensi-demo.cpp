// frekuensi-demo: the monitor polling a simulated 50 Hz grid meter inside the program, writing its
// own freq.text in the user's local data folder. No serial port, no driver: it runs on any
// machine, before the meter is wired.
#include "demogrid.h"
#include "frekuensi.h"
#include "simulatedline.h"
#include "singleinstance.h"
#include "translation.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const Translation translation;
    // Made-up readings must never reach the freq.text that the real monitor writes beside itself,
    // wherever the demo is installed or copied to: the demo keeps its own in the user's local
    // data folder (~/.local/share/frekuensi-demo, %LOCALAPPDATA%\frekuensi-demo).
    QCoreApplication::setApplicationName(QStringLiteral("frekuensi-demo"));
    const QString fileDirectory =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (fileDirectory.isEmpty() || !QDir().mkpath(fileDirectory))
        return 1;
    // One demo per user; it polls its own line, so it never stands in the real monitor's way.
    SingleInstance guard(u"demo"_qs, SingleInstance::Scope::User);
    if (const std::optional<int> status = guard.claimOrHandOver(u"the simulated meter"_qs))
        return *status;
    auto line = std::make_unique<SimulatedLine>(QStringLiteral("demo"));
    auto grid = std::make_shared<DemoGrid>();
    QElapsedTimer clock;
    clock.start();
    line->setResponder([grid, clock](int) { return grid->answer(clock.elapsed()); });
    Frekuensi window(std::move(line), fileDirectory);
    window.setWindowTitle(QStringLiteral("Frekuensi (demo)"));
    qInfo("The demo writes its readings to %s",
          qPrintable(QDir::toNativeSeparators(window.pollCycle().readingWriter().path())));
    QObject::connect(&guard, &SingleInstance::forwardRequested, &window, &Frekuensi::bringForward);
    QObject::connect(&guard, &SingleInstance::closeRequested, &window, &Frekuensi::exit);
    window.show();
    const int status = app.exec();
    guard.release();
    return status;
}
