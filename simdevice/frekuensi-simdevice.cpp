// frekuensi-simdevice: a measuring device on a pseudo-terminal, for trying the monitor without one.
#include "simulateddevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <chrono>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("frekuensi-simdevice"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Answers each request \"1\" on a pseudo-terminal and prints the path of its line."));
    parser.addHelpOption();
    const QCommandLineOption reply(QStringLiteral("reply"),
                                   QStringLiteral("The answer's text (default 10000.0: 50 Hz)."),
                                   QStringLiteral("text"), QStringLiteral("10000.0"));
    const QCommandLineOption delay(QStringLiteral("delay"),
                                   QStringLiteral("Milliseconds before answering (default 10)."),
                                   QStringLiteral("ms"), QStringLiteral("10"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Never answer."));
    const QCommandLineOption logRequests(
        QStringLiteral("log-requests"),
        QStringLiteral("Print a line for each request: its number and monotonic time in ms."));
    const QCommandLineOption losing(
        QStringLiteral("lose-while-closed"),
        QStringLiteral("Lose what is sent while the monitor has the port closed, as a UART does."));
    parser.addOptions({reply, delay, silent, logRequests, losing});
    parser.process(app);

    SimulatedDevice device;
    if (!device.plugIn()) {
        QTextStream(stderr) << "no pseudo-terminal available\n";
        return 1;
    }
    if (parser.isSet(losing) && !device.setLosingWhileClosed(true)) {
        QTextStream(stderr) << "cannot follow the opens of " << device.devicePath() << '\n';
        return 1;
    }
    if (parser.isSet(silent))
        device.setSilent();
    else
        device.setAnswer(parser.value(reply).toLatin1(),
                         std::chrono::milliseconds(parser.value(delay).toInt()));
    QTextStream out(stdout);
    if (parser.isSet(logRequests)) {
        QObject::connect(&device, &SimulatedDevice::requestReceived, &app, [&out](int request) {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            out << "request " << request << ' '
                << std::chrono::duration_cast<std::chrono::milliseconds>(now).count() << Qt::endl;
        });
    }
    out << device.devicePath() << Qt::endl;
    return app.exec();
}
