#pragma once

#include <QFileDevice>
#include <QImage>
#include <QObject>

#include <functional>
#include <map>
#include <thread>

class QSaveFile;
class QWidget;

// What the trend window hands over: a file the operator chose (the span as CSV, the chart as a
// PNG picture), and text on the clipboard. Nothing is written anywhere but in the chosen file. A
// file is written whole or not at all (QSaveFile: an earlier file of that name stays as it was
// until the new one is complete), on a thread of its own: the window's thread is the poll's, and
// a USB stick, an SD card or a network folder can keep a write waiting for seconds. The CSV's text
// is made on that thread too (an hour's 14,400 polls take 150 ms). A failure is said in a message
// box with the system's reason.
class TrendExport : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        QFileDevice::FileError error = QFileDevice::NoError;
        QString reason; // the system's words
    };
    // Writes into the open file; the reason it could not, else nothing.
    using Fill = std::function<QString(QSaveFile &)>;

    explicit TrendExport(QWidget *window);
    ~TrendExport() override; // the writes under way end first

    // The bytes of a file, made on the thread that writes it.
    using Bytes = std::function<QByteArray()>;

    // Asks the operator for a file in a dialog that leaves the poll running, and writes it once
    // it is chosen; these return at once. A cancelled dialog writes nothing.
    void saveCsv(const Bytes &csv);
    void savePng(const QImage &picture);
    void copy(const QString &text);

    // Writes the given file, on a thread of its own; written() tells how it went.
    void writeCsv(const QString &path, const Bytes &csv);
    void writePng(const QString &path, const QImage &picture);

    // A widget as shown at a scale (its screen's device pixel ratio): what Save as PNG… writes.
    static QImage picture(QWidget *widget, qreal scale);
    // One write, on any thread.
    static Result writeFile(const QString &path, const Fill &fill);

signals:
    void written(const QString &path, QFileDevice::FileError error);

private:
    void chooseFile(const QString &title, const QString &filter, const QString &suffix,
                    const std::function<void(const QString &)> &chosen);
    void start(const QString &path, Fill fill);
    void finish(int write, const QString &path, const Result &result);

    QWidget *m_window;
    QString m_folder; // where the operator saved last, while the program runs
    std::map<int, std::thread> m_writes;
    int m_nextWrite = 0;
};
