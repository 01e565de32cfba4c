#include "frekuensi.h"

#include "announcer.h"
#include "pollinterval.h"
#include "seriallink.h"
#include "trendwindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QUrl>

#include <optional>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The window was laid out in twips; 15 twips make one pixel at 96 dots per inch.
constexpr int kTwipsPerPixel = 15;

QRect fromTwips(int left, int top, int width, int height)
{
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

template <typename Control> Control *place(QWidget *window, const char *name, const QRect &geometry)
{
    auto *control = new Control(window);
    control->setObjectName(QLatin1StringView(name));
    control->setGeometry(geometry);
    return control;
}

// A box shows a bare number, so a screen reader is told what it counts, and the same sentence
// explains it to the eye as a tooltip.
void describe(QWidget *box, const QString &description)
{
    box->setAccessibleDescription(description);
    box->setToolTip(description);
}

void explain(QWidget *box, const QString &accessibleName, const QString &description)
{
    box->setAccessibleName(accessibleName);
    describe(box, description);
}

// The box's own sentence, then the line on what is going wrong, if anything is.
void describeWithLine(QWidget *box, const QString &description, const QString &line)
{
    describe(box, line.isEmpty() ? description : description + u'\n' + line);
}

QLineEdit *textBox(QWidget *window, const char *name, const QRect &geometry,
                   const QString &accessibleName, const QString &description)
{
    auto *box = place<QLineEdit>(window, name, geometry);
    explain(box, accessibleName, description);
    return box;
}

// The named font where it is installed, else Liberation Sans, Arial's metric twin on Linux.
QFont fontOrLiberation(const QString &family, QFont::Weight weight, qreal points)
{
    QFont font;
    font.setFamilies({family, QStringLiteral("Liberation Sans")});
    font.setWeight(weight);
    font.setPointSizeF(points);
    return font;
}

} // namespace

Frekuensi::Frekuensi(const QString &portName, const QString &fileDirectory, const QLocale &locale,
                     QWidget *parent)
    : Frekuensi(std::make_unique<SerialLink>(portName), fileDirectory, locale, parent)
{}

Frekuensi::Frekuensi(std::unique_ptr<MeterLine> line, const QString &fileDirectory,
                     const QLocale &locale, QWidget *parent)
    : QWidget(parent), m_cycle(this, std::move(line), fileDirectory, locale), m_locale(locale)
{
    setObjectName(QStringLiteral("Frekuensi"));
    setWindowTitle(QStringLiteral("Frekuensi"));
    QIcon icon;
    for (const int size : {16, 32, 48, 256})
        icon.addFile(u":/icons/frekuensi-%1.png"_qs.arg(size), QSize(size, size));
    setWindowIcon(icon);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            &Frekuensi::openGuide);
    connect(new QShortcut(QKeySequence(Qt::Key_F2), this), &QShortcut::activated, this,
            &Frekuensi::showTrend);
    setFixedSize(kClientSize);

    m_title = place<QLabel>(this, "FREKUENSI", fromTwips(720, 0, 2535, 615));
    m_title->setText(QStringLiteral("FREKUENSI"));
    m_title->setFont(fontOrLiberation(QStringLiteral("Arial"), QFont::Bold, 21.75));
    m_title->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    m_readingDescription = tr("The latest reading from the meter, in hertz; F2 shows its trend");
    m_missDescription = tr("Polls in a row that got no reading");
    m_reading = textBox(this, "d_frekuensi", fromTwips(840, 720, 2535, 975),
                        tr("Frequency reading"), m_readingDescription);
    m_reading->setText(QStringLiteral("00,00"));
    m_reading->setFont(fontOrLiberation(QStringLiteral("Arial Black"), QFont::Black, 27.75));
    m_reading->setAlignment(Qt::AlignCenter);
    // The box's own menu, and the trend window after it.
    m_reading->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_reading, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu *menu = m_reading->createStandardContextMenu();
        menu->addSeparator();
        menu->addAction(tr("Trend"), QKeySequence(Qt::Key_F2), this, &Frekuensi::showTrend);
        menu->exec(m_reading->mapToGlobal(at));
        delete menu;
    });

    m_watchdogBox =
        textBox(this, "Text1", fromTwips(120, 720, 495, 495), tr("Watchdog ticks"),
                tr("Ticks of 100 ms while waiting for a reply; 2 means the reply came too late"));
    m_missBox = textBox(this, "Text3", fromTwips(120, 1320, 495, 495), tr("Misses in a row"),
                        m_missDescription);
    m_heartbeat = textBox(this, "indikator", fromTwips(3960, 1200, 495, 375), tr("Heartbeat"),
                          tr("Changes between 1 and 2 on every poll"));

    m_interval = place<QComboBox>(this, "Combo1", fromTwips(3840, 480, 1335, 315));
    m_interval->setEditable(true);
    m_interval->addItems(PollInterval::choices());
    m_interval->setEditText(QStringLiteral("1,00 detik"));
    explain(m_interval, tr("Poll interval"), tr("How often the meter is asked for a reading"));

    m_start = place<QPushButton>(this, "Command1", fromTwips(600, 2040, 615, 375));
    m_start->setText(QStringLiteral("Start"));
    m_stop = place<QPushButton>(this, "Command2", fromTwips(1800, 2040, 615, 375));
    m_stop->setText(QStringLiteral("Stop"));
    m_stop->setEnabled(false);
    m_exit = place<QPushButton>(this, "Command3", fromTwips(2880, 2040, 615, 375));
    m_exit->setText(QStringLiteral("Exit"));

    m_portNumber = place<QLabel>(this, "Label1", fromTwips(3960, 2040, 495, 375));
    m_portNumber->setText(QStringLiteral("3"));
    m_portNumber->setAccessibleDescription(tr("Number of the serial port the meter is on"));
    m_portKind = place<QLabel>(this, "Label2", fromTwips(3840, 2760, 615, 255));
    m_portKind->setText(QStringLiteral("com"));
    m_portKind->setAccessibleDescription(tr("The meter is on a COM (serial) port"));
    // A label is announced by what it shows; only its description explains it.
    m_title->setAccessibleDescription(tr("Name of the program"));

    // The focus order of the original layout; labels take no focus.
    setTabOrder(m_start, m_stop);
    setTabOrder(m_stop, m_exit);
    setTabOrder(m_exit, m_reading);
    setTabOrder(m_reading, m_interval);
    setTabOrder(m_interval, m_heartbeat);
    setTabOrder(m_heartbeat, m_watchdogBox);
    setTabOrder(m_watchdogBox, m_missBox);

    // Coarse timers drift by up to 5 %: a 1000 ms poll came as early as 950 ms.
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setTimerType(Qt::PreciseTimer);
    m_timer2.setObjectName(QStringLiteral("Timer2"));
    m_timer2.setTimerType(Qt::PreciseTimer);
    m_timer2.setInterval(PollCycle::kWatchdogInterval);
    m_cycle.link().setObjectName(QStringLiteral("MSComm1"));

    connect(m_start, &QPushButton::clicked, this, &Frekuensi::start);
    connect(m_stop, &QPushButton::clicked, this, &Frekuensi::stop);
    connect(m_exit, &QPushButton::clicked, this, &Frekuensi::exit);
    connect(&m_timer1, &QTimer::timeout, &m_cycle, &PollCycle::pollTick);
    connect(&m_timer2, &QTimer::timeout, &m_cycle, &PollCycle::watchdogTick);

    m_announcer = new Announcer(this, m_cycle, m_locale);
    connect(&m_cycle, &PollCycle::pollEnded, m_announcer, &Announcer::pollEnded);
    connect(m_announcer, &Announcer::showRequested, this, &Frekuensi::bringAllForward);
    connect(m_announcer, &Announcer::exitRequested, this, &Frekuensi::exit);

    // Loading the window starts polling.
    start();
}

QLineEdit *Frekuensi::field(Field field) const
{
    switch (field) {
    case Field::d_frekuensi:
        return m_reading;
    case Field::Text3:
        return m_missBox;
    case Field::indikator:
        return m_heartbeat;
    case Field::Text1:
        return m_watchdogBox;
    }
    return m_reading;
}

QString Frekuensi::text(Field which) const
{
    return field(which)->text();
}

void Frekuensi::setText(Field which, const QString &text)
{
    // Setting the same text repaints the box all the same; a silent device would have the large
    // reading redrawn on every poll for nothing.
    QLineEdit *box = field(which);
    if (box->text() != text)
        box->setText(text);
}

void Frekuensi::setBackground(Field which, quint32 bgr)
{
    QLineEdit *box = field(which);
    const QColor colour(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
    QPalette palette = box->palette();
    if (palette.color(QPalette::Base) == colour &&
        palette.isBrushSet(QPalette::Active, QPalette::Base))
        return;
    palette.setColor(QPalette::Base, colour);
    box->setPalette(palette);
}

void Frekuensi::setWatchdogEnabled(bool enabled)
{
    if (enabled)
        m_timer2.start();
    else
        m_timer2.stop();
}

void Frekuensi::setMissCause(const QString &line)
{
    describeWithLine(m_missBox, m_missDescription, line);
}

void Frekuensi::setFileProblem(const QString &line)
{
    describeWithLine(m_reading, m_readingDescription, line);
}

void Frekuensi::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    QCoreApplication::processEvents(flags);
}

void Frekuensi::start()
{
    const qint16 interval = PollInterval::fromChoice(m_interval->currentText());
    m_timer1.setInterval(interval);
    // A QTimer at 0 fires on every pass of the event loop; an unmatched choice must never poll.
    m_pollTimerEnabled = true;
    if (interval > 0)
        m_timer1.start();
    else
        m_timer1.stop();
    m_start->setEnabled(false);
    m_stop->setEnabled(true);
    m_interval->setEnabled(false);
    m_cycle.resetCounters();
    m_announcer->setMuted(false);
}

void Frekuensi::haltPolling()
{
    m_cycle.releasePort();
    m_pollTimerEnabled = false;
    m_timer1.stop();
    m_timer2.stop();
    // Stop ended the events: the title no longer names one, the trend window's list says so.
    m_announcer->pollEnded();
    if (m_trend)
        m_trend->pollsStopped();
}

void Frekuensi::stop()
{
    haltPolling();
    m_stop->setEnabled(false);
    m_start->setEnabled(true);
    m_interval->setEnabled(true);
}

void Frekuensi::exit()
{
    haltPolling();
    close();
}

void Frekuensi::showTrend()
{
    if (!m_trend) {
        m_trend = new TrendWindow(m_cycle.history(), m_cycle.events(), m_locale, this);
        connect(&m_cycle, &PollCycle::pollEnded, m_trend, &TrendWindow::pollEnded);
        placeTrend();
    }
    m_trend->show();
    m_trend->raise();
    m_trend->activateWindow();
}

void Frekuensi::placeTrend()
{
    // Beside this window where the screen has room, else in the corner of the screen where it
    // covers the least of this window: its controls stay in reach.
    if (!screen())
        return;
    const QRect free = screen()->availableGeometry();
    const QRect main = frameGeometry();
    const QSize size = m_trend->frameGeometry().size();
    constexpr int kGap = 8;
    const QPoint places[] = {
        main.bottomLeft() + QPoint(0, kGap),
        main.topLeft() - QPoint(0, size.height() + kGap),
        main.topRight() + QPoint(kGap, 0),
        main.topLeft() - QPoint(size.width() + kGap, 0),
        free.topLeft(),
        QPoint(free.right() - size.width(), free.top()),
        QPoint(free.left(), free.bottom() - size.height()),
        QPoint(free.right() - size.width(), free.bottom() - size.height()),
    };
    std::optional<QPoint> best;
    qint64 leastCovered = 0;
    for (const QPoint &place : places) {
        const QRect trend(place, size);
        if (!free.contains(trend))
            continue;
        const QRect covered = trend.intersected(main);
        const qint64 area = qint64(covered.width()) * covered.height();
        if (!best || area < leastCovered) {
            best = place;
            leastCovered = area;
        }
    }
    if (best)
        m_trend->move(*best);
}

void Frekuensi::closeEvent(QCloseEvent *event)
{
    // The trend window goes with the main one: the program ends with both.
    if (m_trend)
        m_trend->close();
    QWidget::closeEvent(event);
}

namespace {

// Whether only root or this user could have put the file there: a guide taken from a folder that
// others may write would open whatever they planted, in this user's browser. On Windows the guide
// lies in the zip's folder or the installer's, in the operator's own profile.
bool isOwnersOnly(const QString &canonicalPath)
{
#ifdef Q_OS_WIN
    Q_UNUSED(canonicalPath);
    return true;
#else
    for (const QString &path : {canonicalPath, QFileInfo(canonicalPath).path()}) {
        struct stat status;
        if (::stat(QFile::encodeName(path).constData(), &status) != 0 ||
            (status.st_uid != 0 && status.st_uid != ::geteuid()) ||
            (status.st_mode & (S_IWGRP | S_IWOTH)))
            return false;
    }
    return true;
#endif
}

} // namespace

QString Frekuensi::guidePath() const
{
    // The file name in the window's language: the translation names the Indonesian guide.
    const QString name = tr("operator-guide.html");
    const QDir program(QCoreApplication::applicationDirPath());
    for (const QString &folder :
         {program.path(), program.filePath(u"../share/doc/frekuensi"_qs),
          u"/usr/share/doc/frekuensi"_qs, program.filePath(u"../docs"_qs)}) {
        const QFileInfo guide(QDir(folder).filePath(name));
        if (guide.isFile() && isOwnersOnly(guide.canonicalFilePath()))
            return guide.canonicalFilePath();
    }
    return {};
}

void Frekuensi::openGuide()
{
    const QString guide = guidePath();
    if (guide.isEmpty())
        qWarning("The operator's guide is not installed beside the program");
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(guide));
}

void Frekuensi::bringForward()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void Frekuensi::bringAllForward()
{
    if (m_trend && m_trend->isVisible()) {
        m_trend->setWindowState(m_trend->windowState() & ~Qt::WindowMinimized);
        m_trend->raise();
    }
    bringForward();
}
