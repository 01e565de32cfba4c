#include "trendexport.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImageWriter>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>

TrendExport::TrendExport(QWidget *window) : QObject(window), m_window(window) {}

TrendExport::~TrendExport()
{
    // A write under way finishes its file (or leaves none): the program does not end midway.
    for (auto &[write, thread] : m_writes)
        thread.join();
}

void TrendExport::saveCsv(const Bytes &csv)
{
    chooseFile(tr("Save the span as CSV"), tr("CSV files (*.csv)"), u"csv"_qs,
               [this, csv](const QString &path) { writeCsv(path, csv); });
}

void TrendExport::savePng(const QImage &picture)
{
    chooseFile(tr("Save the chart as PNG"), tr("PNG pictures (*.png)"), u"png"_qs,
               [this, picture](const QString &path) { writePng(path, picture); });
}

void TrendExport::copy(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

void TrendExport::writeCsv(const QString &path, const Bytes &csv)
{
    start(path, [csv](QSaveFile &file) {
        const QByteArray bytes = csv();
        return file.write(bytes) == bytes.size() ? QString() : file.errorString();
    });
}

void TrendExport::writePng(const QString &path, const QImage &picture)
{
    start(path, [picture](QSaveFile &file) {
        QImageWriter writer(&file, "png");
        return writer.write(picture) ? QString() : writer.errorString();
    });
}

QImage TrendExport::picture(QWidget *widget, qreal scale)
{
    QImage image(widget->size() * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    widget->render(&image);
    return image;
}

TrendExport::Result TrendExport::writeFile(const QString &path, const Fill &fill)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {file.error(), file.errorString()};
    if (const QString reason = fill(file); !reason.isEmpty()) {
        const QFileDevice::FileError error =
            file.error() == QFileDevice::NoError ? QFileDevice::WriteError : file.error();
        file.cancelWriting();
        return {error, reason};
    }
    // Written, flushed, synced and renamed over the chosen name, or the earlier file stays.
    if (!file.commit())
        return {file.error(), file.errorString()};
    return {};
}

void TrendExport::chooseFile(const QString &title, const QString &filter, const QString &suffix,
                             const std::function<void(const QString &)> &chosen)
{
    const QString folder = m_folder.isEmpty()
                               ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                               : m_folder;
    const QString name = u"frekuensi-%1.%2"_qs.arg(
        QDateTime::currentDateTime().toString(u"yyyy-MM-dd-HHmm"_qs), suffix);
    // The dialog is shown and this returns: a key or a click that asked for it may have come
    // during a poll's wait for the meter, and a dialog's own event loop would keep that poll from
    // ending, and every poll after it from starting, while the dialog is open. It goes when it
    // closes, or with the window.
    auto *dialog = new QFileDialog(m_window, title, QDir(folder).filePath(name), filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(suffix);
    connect(dialog, &QFileDialog::fileSelected, this, [this, chosen](const QString &file) {
        if (file.isEmpty())
            return;
        m_folder = QFileInfo(file).absolutePath();
        chosen(file);
    });
    dialog->open();
}

void TrendExport::start(const QString &path, Fill fill)
{
    const int write = m_nextWrite++;
    m_writes.emplace(write, std::thread([this, write, path, fill = std::move(fill)] {
                         const Result result = writeFile(path, fill);
                         QMetaObject::invokeMethod(
                             this, [=, this] { finish(write, path, result); },
                             Qt::QueuedConnection);
                     }));
}

void TrendExport::finish(int write, const QString &path, const Result &result)
{
    const auto done = m_writes.find(write);
    done->second.join(); // it has only to return
    m_writes.erase(done);
    emit written(path, result.error);
    if (result.error == QFileDevice::NoError)
        return;
    auto *box = new QMessageBox(
        QMessageBox::Warning, tr("Frekuensi — not saved"),
        tr("%1 could not be written: %2").arg(QDir::toNativeSeparators(path), result.reason),
        QMessageBox::Ok, m_window);
    box->setInformativeText(tr("Nothing is lost: the trend window keeps everything it showed, and "
                               "an earlier file of that name is left as it was."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
