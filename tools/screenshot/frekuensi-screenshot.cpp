// frekuensi-screenshot: renders the running window, polling the simulated device, into a PNG.
#include "frekuensi.h"
#include "simulateddevice.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

using namespace std::chrono_literals;

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication app(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "frekuensi.png";

    SimulatedDevice device;
    if (!device.plugIn())
        return 1;
    device.setAnswer("9990\r\n\r\n", 40ms);
    QTemporaryDir dir;
    Frekuensi window(device.devicePath(), dir.path(), QLocale(QLocale::Indonesian));
    window.show();
    QTimer::singleShot(0, &window, [&] {
        QTextStream(stdout) << "window shown " << sinceStart.elapsed() << " ms after start\n";
    });
    // Two polls at the start-up interval of one second, then the picture.
    QTimer::singleShot(2500ms, &window, [&] {
        const bool saved = window.grab().save(output);
        QTextStream(stdout) << (saved ? "saved " : "could not save ") << output << '\n';
        QCoreApplication::exit(saved ? 0 : 1);
    });
    return app.exec();
}
