// frekuensi-filebench: rewrites freq.text at one poll interval the way the monitor does, or the way
// older versions and simpler programs did, so that the disk writes of each can be compared.
#include "readingfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QThread>

#include <cstdio>

namespace {

// The reading moves by 0,01 Hz on every poll, as a grid frequency shown at two decimals does.
QByteArray readingAt(int poll)
{
    return QByteArray::number(4990 + poll % 20).insert(2, ',');
}

bool writeThroughSaveFile(const QString &path, const QByteArray &line)
{
    QSaveFile file(path); // syncs the new file before renaming it over the old one
    return file.open(QIODevice::WriteOnly) && file.write(line) == line.size() && file.commit();
}

bool writeInPlace(const QString &path, const QByteArray &line)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(line) == line.size();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: %s monitor|savefile|inplace FOLDER SECONDS INTERVAL_MS\n",
                     qPrintable(args.value(0)));
        return 2;
    }
    const QString method = args[1];
    ReadingFile file(args[2]);
    const qint64 seconds = args[3].toLongLong();
    const int interval = args[4].toInt();

    // As the monitor's writer starts: what a crashed writer left goes first.
    if (method == u"monitor")
        file.removeLeftovers();
    QElapsedTimer clock;
    clock.start();
    int failures = 0;
    int poll = 0;
    for (; clock.elapsed() < seconds * 1000; ++poll) {
        const QByteArray reading = readingAt(poll);
        bool written = false;
        if (method == u"monitor")
            written = file.rewrite(QString::fromLatin1(reading));
        else if (method == u"savefile")
            written = writeThroughSaveFile(file.path(), reading + "\r\n");
        else
            written = writeInPlace(file.path(), reading + "\r\n");
        failures += written ? 0 : 1;
        // Paced from the start, as the precise poll timer is.
        const qint64 next = qint64(poll + 1) * interval;
        if (next > clock.elapsed())
            QThread::msleep(static_cast<unsigned long>(next - clock.elapsed()));
    }
    std::printf("%s: %d rewrites, %d failed\n", qPrintable(method), poll, failures);
    if (!file.problem().isEmpty())
        std::printf("%s\n", qPrintable(file.problem()));
    return failures ? 1 : 0;
}
