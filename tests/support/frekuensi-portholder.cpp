// frekuensi-portholder PORT: another program holding the serial port, until its input closes.
#include <QCoreApplication>
#include <QSerialPort>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: frekuensi-portholder PORT\n");
        return 2;
    }
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "cannot open %s: %s\n", argv[1], qPrintable(port.errorString()));
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    // Holds the port until whoever started it closes our input (or ends).
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char byte;
        if (::read(STDIN_FILENO, &byte, 1) <= 0)
            QCoreApplication::quit();
    });
    return app.exec();
}
