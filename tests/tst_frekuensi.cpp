// The window and its run control on the offscreen platform, polling the simulated device.
#include "announcer.h"
#include "frekuensi.h"
#include "gridevents.h"
#include "history.h"
#include "simulateddevice.h"
#include "threadcputime.h"
#include "translation.h"
#include "trendchart.h"
#include "trendexport.h"
#include "trendwindow.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace std::chrono_literals;

class TestFrekuensi : public QObject
{
    Q_OBJECT

public:
    // Where the window asked the desktop to open a file (F1).
    Q_INVOKABLE void fileOpened(const QUrl &url) { m_opened = url; }

private slots:
    void init();
    void cleanup();
    void geometryComesFromTwips_data();
    void geometryComesFromTwips();
    void loadStartsPollingOneIntervalLater();
    void startUsesTheExactChoice_data();
    void startUsesTheExactChoice();
    void startClearsOnlyTheCounters();
    void stopAndExitOnAClosedPort();
    void stopDuringAWait();
    void leavingDuringAWaitEndsTheProgram_data();
    void leavingDuringAWaitEndsTheProgram();
    void explanationsFollowTheLanguage_data();
    void explanationsFollowTheLanguage();
    void everyControlIsNamedForAScreenReader();
    void trendOpensWithF2();
    void trendChartDraws_data();
    void trendChartDraws();
    void trendFigures_data();
    void trendFigures();
    void trendClockTimes_data();
    void trendClockTimes();
    void spanCsv_data();
    void spanCsv();
    void handoverWrites_data();
    void handoverWrites();
    void titleNamesALastingEvent_data();
    void titleNamesALastingEvent();
    void titleFollowsTheMeter();

private:
    QUrl m_opened;
    void makeWindow();
    void choose(const QString &choice);
    template <typename T> T *control(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1StringView(name));
    }
    bool isRunning() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SimulatedDevice> m_device;
    std::unique_ptr<Frekuensi> m_window;
    QElapsedTimer m_created;
};

namespace {
const QLocale kIndonesian(QLocale::Indonesian, QLocale::Indonesia);

QByteArray readAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

void TestFrekuensi::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_device = std::make_unique<SimulatedDevice>();
    QVERIFY(m_device->plugIn());
    m_device->setAnswer("10000\r\n", 20ms);
    makeWindow();
}

void TestFrekuensi::cleanup()
{
    m_window.reset();
    m_device.reset();
    m_dir.reset();
}

void TestFrekuensi::makeWindow()
{
    m_created.start();
    m_window = std::make_unique<Frekuensi>(m_device->devicePath(), m_dir->path(), kIndonesian);
    m_window->show();
}

void TestFrekuensi::choose(const QString &choice)
{
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    control<QComboBox>("Combo1")->setEditText(choice);
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
}

bool TestFrekuensi::isRunning() const
{
    return m_window->isPollTimerEnabled() && !control<QPushButton>("Command1")->isEnabled() &&
           control<QPushButton>("Command2")->isEnabled() &&
           !control<QComboBox>("Combo1")->isEnabled();
}

void TestFrekuensi::geometryComesFromTwips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");

    // Twips / 15: left, top, width, height.
    QTest::newRow("FREKUENSI 720,0,2535,615") << "FREKUENSI" << QRect(48, 0, 169, 41);
    QTest::newRow("d_frekuensi 840,720,2535,975") << "d_frekuensi" << QRect(56, 48, 169, 65);
    QTest::newRow("Text1 120,720,495,495") << "Text1" << QRect(8, 48, 33, 33);
    QTest::newRow("Text3 120,1320,495,495") << "Text3" << QRect(8, 88, 33, 33);
    QTest::newRow("indikator 3960,1200,495,375") << "indikator" << QRect(264, 80, 33, 25);
    QTest::newRow("Combo1 3840,480,1335,315") << "Combo1" << QRect(256, 32, 89, 21);
    QTest::newRow("Command1 600,2040,615,375") << "Command1" << QRect(40, 136, 41, 25);
    QTest::newRow("Command2 1800,2040,615,375") << "Command2" << QRect(120, 136, 41, 25);
    QTest::newRow("Command3 2880,2040,615,375") << "Command3" << QRect(192, 136, 41, 25);
    QTest::newRow("Label1 3960,2040,495,375") << "Label1" << QRect(264, 136, 33, 25);
    QTest::newRow("Label2 3840,2760,615,255") << "Label2" << QRect(256, 184, 41, 17);
}

void TestFrekuensi::geometryComesFromTwips()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);

    QCOMPARE(m_window->size(), QSize(385, 219)); // 5775 x 3285 twips
    auto *widget = m_window->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
}

void TestFrekuensi::loadStartsPollingOneIntervalLater()
{
    QVERIFY(isRunning());
    QCOMPARE(m_window->pollTimer().interval(), 1000);
    QVERIFY(!m_window->watchdogTimer().isActive());
    QCOMPARE(control<QLineEdit>("d_frekuensi")->text(), QStringLiteral("00,00"));
    QCOMPARE(control<QComboBox>("Combo1")->currentText(), QStringLiteral("1,00 detik"));
    QCOMPARE(control<QComboBox>("Combo1")->count(), 4);
    // Keyboard focus follows the original order; the labels take none.
    QStringList order;
    QWidget *widget = control<QPushButton>("Command1");
    for (int i = 0; i < 8; ++i, widget = widget->nextInFocusChain()) {
        while (!(widget->focusPolicy() & Qt::TabFocus) || widget->parentWidget() != m_window.get())
            widget = widget->nextInFocusChain();
        order << widget->objectName();
    }
    QCOMPARE(order, QStringList({"Command1", "Command2", "Command3", "d_frekuensi", "Combo1",
                                 "indikator", "Text1", "Text3"}));

    QSignalSpy requests(m_device.get(), &SimulatedDevice::requestReceived);
    QVERIFY(requests.wait(3000));
    const qint64 firstPoll = m_created.elapsed();
    qInfo("first poll %lld ms after the window was created", firstPoll);
    QVERIFY(firstPoll >= 950);
    QTRY_COMPARE(control<QLineEdit>("d_frekuensi")->text(), QStringLiteral("50,00"));
    QCOMPARE(control<QLineEdit>("Text3")->text(), QStringLiteral("0"));
    QCOMPARE(control<QLineEdit>("indikator")->text(), QStringLiteral("1"));
    QTRY_VERIFY(QFile::exists(m_dir->filePath(QStringLiteral("freq.text"))));
}

void TestFrekuensi::startUsesTheExactChoice_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<int>("interval");

    QTest::newRow("0,25 detik") << "0,25 detik" << 250;
    QTest::newRow("0,50 detik") << "0,50 detik" << 500;
    QTest::newRow("0,75 detik") << "0,75 detik" << 750;
    QTest::newRow("1,00 detik") << "1,00 detik" << 1000;
    QTest::newRow("typed decimal point") << "0.25 detik" << 0;
    QTest::newRow("other case") << "0,25 Detik" << 0;
    QTest::newRow("trailing space") << "0,25 detik " << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestFrekuensi::startUsesTheExactChoice()
{
    QFETCH(QString, choice);
    QFETCH(int, interval);

    // Timed from before the Start: a busy machine may hold this thread up after it.
    QElapsedTimer started;
    started.start();
    choose(choice);
    QVERIFY(isRunning());
    QCOMPARE(m_window->pollTimer().interval(), interval);
    QCOMPARE(m_window->pollTimer().isActive(), interval > 0);

    QSignalSpy requests(m_device.get(), &SimulatedDevice::requestReceived);
    if (interval == 0) {
        // Shown as running, and never polls.
        QTest::qWait(400);
        QCOMPARE(requests.count(), 0);
        return;
    }
    QVERIFY(requests.wait(3000));
    QVERIFY(started.elapsed() >= interval - 20); // one interval after the Start, not at once
    QTRY_VERIFY_WITH_TIMEOUT(requests.count() >= 2, 3000);

    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    QVERIFY(!isRunning());
    QVERIFY(control<QComboBox>("Combo1")->isEnabled());
    QVERIFY(!m_window->pollTimer().isActive());
}

void TestFrekuensi::startClearsOnlyTheCounters()
{
    const QStringList fields{"d_frekuensi", "Text1", "Text3", "indikator"};
    auto texts = [&] {
        QStringList shown;
        for (const QString &name : fields)
            shown << m_window->findChild<QLineEdit *>(name)->text();
        return shown;
    };
    auto restart = [this] {
        QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
        QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    };
    PollCycle &cycle = m_window->pollCycle();

    // Answered between the first and the second watchdog tick: one tick is carried over.
    m_device->setAnswer("9990\r\n\r\n", 150ms);
    cycle.pollTick();
    QCOMPARE(cycle.blinkCount(), 1);
    QCOMPARE(cycle.waitTicks(), 1);
    QStringList before = texts();
    QCOMPARE(before, QStringList({"50,05", "1", "0", "1"}));
    const QColor heartbeat = control<QLineEdit>("indikator")->palette().color(QPalette::Base);
    restart();
    QCOMPARE(cycle.blinkCount(), 0);
    QCOMPARE(cycle.waitTicks(), 1);
    QCOMPARE(texts(), before);
    QCOMPARE(control<QLineEdit>("indikator")->palette().color(QPalette::Base), heartbeat);

    // A miss: the count is cleared, the box keeps showing it.
    m_device->setSilent();
    cycle.pollTick();
    QCOMPARE(cycle.missCount(), 1);
    QCOMPARE(cycle.blinkCount(), 1);
    before = texts();
    QCOMPARE(before, QStringList({"50,05", "2", "1", "1"}));
    restart();
    QCOMPARE(cycle.missCount(), 0);
    QCOMPARE(cycle.blinkCount(), 0);
    QCOMPARE(texts(), before);
    QVERIFY(!cycle.link().isOpen());
}

void TestFrekuensi::stopAndExitOnAClosedPort()
{
    QVERIFY(!m_window->pollCycle().link().isOpen());
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    QVERIFY(!isRunning());
    QTest::mouseClick(control<QPushButton>("Command3"), Qt::LeftButton);
    QVERIFY(!m_window->isVisible());
    QVERIFY(!m_window->pollCycle().link().isOpen());
    QVERIFY(!m_window->pollTimer().isActive());
    QCOMPARE(m_device->requestCount(), 0);
}

void TestFrekuensi::stopDuringAWait()
{
    m_device->setSilent();
    choose(QStringLiteral("0,25 detik"));
    bool portWasOpen = false;
    connect(m_device.get(), &SimulatedDevice::requestReceived, this, [this, &portWasOpen] {
        QTimer::singleShot(30ms, this, [this, &portWasOpen] {
            portWasOpen = m_window->pollCycle().link().isOpen();
            QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
        });
    });
    QSignalSpy ended(&m_window->pollCycle(), &PollCycle::pollEnded);
    QVERIFY(ended.wait(3000));
    QVERIFY(portWasOpen);
    QVERIFY(!m_window->pollCycle().link().isOpen());
    QVERIFY(!m_window->watchdogTimer().isActive());
    QVERIFY(!isRunning());
    QCOMPARE(control<QLineEdit>("Text3")->text(), QStringLiteral("1"));
    QCOMPARE(control<QLineEdit>("Text1")->text(), QString());
    QTest::qWait(400);
    QCOMPARE(m_device->requestCount(), 1);
}

void TestFrekuensi::leavingDuringAWaitEndsTheProgram_data()
{
    QTest::addColumn<bool>("closeControl");
    QTest::newRow("Exit") << false;
    QTest::newRow("window's close control") << true;
}

void TestFrekuensi::leavingDuringAWaitEndsTheProgram()
{
    QFETCH(bool, closeControl);

    choose(QStringLiteral("0,25 detik"));
    const QString fileName = m_dir->filePath(QStringLiteral("freq.text"));
    QTRY_COMPARE(readAll(fileName), QByteArray("50,00\r\n"));
    m_device->setSilent();
    QElapsedTimer left;
    bool wasPolling = false;
    connect(m_device.get(), &SimulatedDevice::requestReceived, this, [&, this] {
        QTimer::singleShot(30ms, this, [&, this] {
            wasPolling = m_window->pollCycle().isPolling();
            left.start();
            if (closeControl)
                m_window->close();
            else
                QTest::mouseClick(control<QPushButton>("Command3"), Qt::LeftButton);
        });
    });
    // A safety net: the test fails rather than hangs if the program does not end.
    QTimer::singleShot(10s, qApp, [] { QCoreApplication::exit(1); });

    const double cpuBefore = threadCpuSeconds();
    QCOMPARE(QApplication::exec(), 0);
    qInfo("program ended %lld ms after leaving", left.elapsed());
    // Ending takes a wait's remainder, asleep; a spinning wait would take most of a core.
    QVERIFY(threadCpuSeconds() - cpuBefore < 0.1);
    QCOMPARE(readAll(fileName), QByteArray("50,00\r\n"));
    QVERIFY(wasPolling);
    QVERIFY(left.elapsed() < 1000);
    QVERIFY(!m_window->pollCycle().isPolling());
    QVERIFY(!m_window->pollCycle().link().isOpen());
    QVERIFY(!m_window->watchdogTimer().isActive());
}

void TestFrekuensi::explanationsFollowTheLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description"); // spoken, and shown as the tooltip

    struct Explained
    {
        const char *box, *name, *description;
    };
    const Explained english[] = {
        {"d_frekuensi", "Frequency reading",
         "The latest reading from the meter, in hertz; F2 shows its trend"},
        {"Text1", "Watchdog ticks",
         "Ticks of 100 ms while waiting for a reply; 2 means the reply came too late"},
        {"Text3", "Misses in a row", "Polls in a row that got no reading"},
        {"indikator", "Heartbeat", "Changes between 1 and 2 on every poll"},
        {"Combo1", "Poll interval", "How often the meter is asked for a reading"},
    };
    const Explained indonesian[] = {
        {"d_frekuensi", "Pembacaan frekuensi",
         "Pembacaan terakhir dari alat ukur, dalam hertz; F2 menampilkan trennya"},
        {"Text1", "Hitungan watchdog",
         "Hitungan 100 ms selama menunggu balasan; 2 berarti balasan terlambat"},
        {"Text3", "Jumlah gagal berturut-turut",
         "Permintaan data berturut-turut yang tidak mendapat pembacaan"},
        {"indikator", "Denyut", "Berganti antara 1 dan 2 pada setiap permintaan data"},
        {"Combo1", "Selang waktu permintaan data", "Seberapa sering data diminta dari alat ukur"},
    };
    // English is the fallback for a language the program has no translation for (Swahili).
    for (const auto &[language, texts] :
         {std::pair{"id_ID", indonesian}, std::pair{"en_US", english},
          std::pair{"sw_KE", english}}) {
        for (int i = 0; i < 5; ++i)
            QTest::addRow("%s %s", language, texts[i].box)
                << QString::fromLatin1(language) << QString::fromLatin1(texts[i].box)
                << QString::fromUtf8(texts[i].name) << QString::fromUtf8(texts[i].description);
    }
}

void TestFrekuensi::explanationsFollowTheLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, box);
    QFETCH(QString, name);
    QFETCH(QString, description);

    const Translation translation{QLocale(language)};
    m_window.reset();
    makeWindow(); // the window takes its texts when it is made, as at start-up
    auto *widget = m_window->findChild<QWidget *>(box);
    QVERIFY(widget);
    QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(spoken);
    QCOMPARE(widget->accessibleName(), name);
    // On Linux Qt announces an editable combo box by its text and gives its name elsewhere.
    if (!qobject_cast<QComboBox *>(widget) || spoken->text(QAccessible::Name) == name)
        QCOMPARE(spoken->text(QAccessible::Name), name);
    else
        QCOMPARE(spoken->text(QAccessible::Name), u"1,00 detik"_qs);
    QCOMPARE(spoken->text(QAccessible::Description), description);
    QCOMPARE(widget->toolTip(), description);

    // F1 opens the guide in the same language, from the build tree here.
    if (box != u"d_frekuensi"_qs)
        return;
    QDesktopServices::setUrlHandler(u"file"_qs, this, "fileOpened");
    const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(u"file"_qs); });
    m_opened.clear();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_F1);
    QCOMPARE(QFileInfo(m_opened.toLocalFile()).fileName(),
             language == u"id_ID"_qs ? u"panduan-operator.html"_qs : u"operator-guide.html"_qs);
    QVERIFY(QFileInfo(m_opened.toLocalFile()).isFile());
}

// What a screen reader announces for each control: what a label or button shows, and for a box of
// bare numbers what it counts, never the number alone.
void TestFrekuensi::everyControlIsNamedForAScreenReader()
{
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(m_window.get());
    QVERIFY(window);
    QCOMPARE(window->childCount(), 11);
    for (int i = 0; i < window->childCount(); ++i) {
        QAccessibleInterface *child = window->child(i);
        const QString name = child->text(QAccessible::Name);
        const QString shown = child->text(QAccessible::Value);
        if (auto *label = qobject_cast<QLabel *>(child->object()))
            QCOMPARE(name, label->text());
        else if (auto *button = qobject_cast<QPushButton *>(child->object()))
            QCOMPARE(name, button->text());
        else if (auto *choice = qobject_cast<QComboBox *>(child->object()))
            QVERIFY(name == choice->currentText() || name == choice->accessibleName());
        else
            QVERIFY2(!name.isEmpty() && name != shown, qPrintable(child->object()->objectName()));
    }
}

// F2 shows the trend window, a window of its own that closing leaves the monitor running.
void TestFrekuensi::trendOpensWithF2()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_F2);
    TrendWindow *trend = m_window->trendWindow();
    QVERIFY(trend && trend->isVisible() && trend->isWindow());
    QCOMPARE(trend->windowTitle(), u"Frekuensi — trend"_qs);
    QCOMPARE(trend->span(), TrendWindow::TenMinutes);
    trend->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(trend));
    QTest::keyClick(trend, Qt::Key_4);
    QCOMPARE(trend->span(), TrendWindow::Day);
    QTRY_COMPARE(QApplication::activeWindow(), trend); // the shortcuts are the active window's
    QTest::keyClick(trend, Qt::Key_C, Qt::ControlModifier);
    QVERIFY(QGuiApplication::clipboard()->text().startsWith(u"The last day, until "_qs));
    QVERIFY(QGuiApplication::clipboard()->text().contains(trend->figures().join(u'\n')));
    // Save as CSV… asked for during a poll's wait: the polls go on while its dialog is open.
    choose(u"0,25 detik"_qs);
    m_device->setSilent();
    int from = -1; // the poll it was asked in, or -2 if that was not during one
    const auto ask = [&] {
        from = m_window->pollCycle().isPolling() ? m_device->requestCount() : -2;
        trend->actions().constFirst()->trigger();
    };
    connect(
        m_device.get(), &SimulatedDevice::requestReceived, trend,
        [&] { QTimer::singleShot(30ms, trend, ask); }, Qt::SingleShotConnection);
    QTimer::singleShot(10s, trend,
                       [trend] { delete trend->findChild<QFileDialog *>(); }); // no hang
    QTRY_VERIFY(from >= 0 && m_device->requestCount() >= from + 4);
    qInfo("the dialog asked for in poll %d; %d polls since", from, m_device->requestCount() - from);
    auto *dialog = trend->findChild<QFileDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    dialog->reject();
    QTest::keyClick(trend->eventList(), Qt::Key_Escape); // from the focus on, as a key goes
    QVERIFY(!trend->isVisible());
    QVERIFY(isRunning());
    QVERIFY(m_window->pollTimer().isActive());
}

namespace {

// Two hours at 0,25 s at 50,05 Hz, ending now, with one poll's spike to 50,30 Hz 70 minutes before
// the end, a garbled reply read as 500 Hz 50 minutes before it, and the meter silent from 40 to 30
// minutes before it. No polls for 20 s around the hour's start: the span's counts do not depend on
// how long this took (a sanitizer build is slow). The events besides, where asked for.
std::unique_ptr<History> twoHours(GridEvents *events = nullptr)
{
    constexpr qint64 kEnd = 2 * 3'600'000;
    auto kept = std::make_unique<History>(std::chrono::milliseconds(kEnd));
    int misses = 0;
    for (qint64 at = 0; at < kEnd; at += 250) {
        if (std::abs(at - (kEnd - 3'600'000)) < 10'000)
            continue;
        const bool silent = at >= kEnd - 40 * 60'000 && at < kEnd - 30 * 60'000;
        const int reading = at == kEnd - 70 * 60'000   ? 5030
                            : at == kEnd - 50 * 60'000 ? 50000
                                                       : 5005;
        kept->add(at, silent ? History::Outcome::Miss : History::Outcome::Reading, reading);
        if (events && silent)
            events->miss(at, ++misses, u"No reply"_qs);
        else if (events)
            events->reading(at, reading), misses = 0;
    }
    return kept;
}

} // namespace

void TestFrekuensi::trendChartDraws_data()
{
    // A pixel of the chart: its span, the scale, minutes before the end and a frequency in
    // hundredths of a hertz; whether readings are drawn there, else the colour found.
    QTest::addColumn<int>("span");
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<double>("minutesBefore");
    QTest::addColumn<double>("centihertz");
    QTest::addColumn<QRgb>("colour"); // 0: the readings' ink
    QTest::addRow("the readings' line") << int(TrendWindow::Hour) << 1.0 << 10.0 << 5005.0 << 0u;
    QTest::addRow("a silence is not bridged")
        << int(TrendWindow::Hour) << 1.0 << 35.0 << 5005.0 << TrendChart::kBand;
    // The 500 Hz reading in the span scales nothing: the band stays where it belongs.
    for (const qreal scale : {1.0, 1.5, 2.0}) {
        QTest::addRow("the band at %d %%", int(scale * 100))
            << int(TrendWindow::Hour) << scale << 35.0 << 5012.0 << TrendChart::kBand;
        QTest::addRow("above the band at %d %%", int(scale * 100))
            << int(TrendWindow::Hour) << scale << 35.0 << 5023.0 << TrendChart::kBackground;
    }
    QTest::addRow("a 500 Hz reading: a mark at the top edge")
        << int(TrendWindow::Hour) << 1.0 << 50.0 << 5024.6 << TrendChart::kWild;
    QTest::addRow("a day: one poll's spike kept")
        << int(TrendWindow::Day) << 1.0 << 70.0 << 5025.0 << 0u;
    QTest::addRow("a day with a 500 Hz reading: the band where it belongs")
        << int(TrendWindow::Day) << 1.0 << 35.0 << 5012.0 << TrendChart::kBand;
}

void TestFrekuensi::trendChartDraws()
{
    QFETCH(int, span);
    QFETCH(qreal, scale);
    QFETCH(double, minutesBefore);
    QFETCH(double, centihertz);
    QFETCH(QRgb, colour);
    const std::unique_ptr<History> history = twoHours();
    TrendWindow trend(*history, kIndonesian);
    trend.setSpan(TrendWindow::Span(span));
    trend.show();
    QVERIFY(QTest::qWaitForWindowExposed(&trend));
    TrendChart *chart = trend.chart();
    QImage image(chart->size() * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    chart->render(&image);
    // The column the chart draws that moment in.
    const QRectF plot = chart->plotArea();
    const double spanMinutes = span == TrendWindow::Day ? 1440 : 60;
    const double x =
        plot.left() + 0.5 + int((spanMinutes - minutesBefore) / spanMinutes * int(plot.width()));
    const QRgb found = image.pixel(int(x * scale), int(chart->yOf(centihertz) * scale));
    if (colour)
        QCOMPARE(found | 0xff000000, colour);
    else
        QVERIFY2(found != TrendChart::kBand && found != TrendChart::kBackground,
                 qPrintable(QString::number(found, 16)));
}

void TestFrekuensi::trendFigures_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("span");
    QTest::addColumn<int>("last"); // a reading added at the end, in hundredths of a hertz
    // How each of the span's events' lines ends, newest first.
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("figures"); // how each line starts
    QTest::addRow("English, the last hour")
        << u"en_GB"_qs << int(TrendWindow::Hour) << 0
        << QStringList{u" — meter silent for 9 min 59 s: No reply"_qs}
        << QStringList{
               u"Now: 50.05 Hz (+50 mHz)"_qs,
               u"Lowest: 50.05 Hz at "_qs,
               u"Highest: 50.05 Hz at "_qs,
               u"Mean: 50.05 Hz"_qs,
               u"Outside 49.80–50.20 Hz: 0 s"_qs,
               u"Readings: 11,960, misses: 2,400"_qs,
               u"Readings beyond 45–55 Hz: 1 (500.00 Hz), left out of the scale and the mean"_qs};
    QTest::addRow("Indonesian, the last day")
        << u"id_ID"_qs << int(TrendWindow::Day) << 0
        << QStringList{u" — alat ukur diam selama 9 menit 59 detik: No reply"_qs,
                       u" — 0 detik di atas 50,20 Hz, tertinggi 50,30 Hz"_qs}
        << QStringList{u"Sekarang: 50,05 Hz (+50 mHz)"_qs,
                       u"Terendah: 50,05 Hz pada "_qs,
                       u"Tertinggi: 50,30 Hz pada "_qs,
                       u"Rata-rata: 50,05 Hz"_qs,
                       u"Di luar 49,80–50,20 Hz: 0 detik"_qs,
                       u"Pembacaan: 26.321, gagal: 2.400"_qs,
                       u"Pembacaan di luar 45–55 Hz: 1 (500,00 Hz), "_qs};
    // The deviation of a 5 MHz reading in 64 bits and in hertz; the chart keeps its width.
    QTest::addRow("English, a 5 MHz reading last")
        << u"en_GB"_qs << int(TrendWindow::Minute) << 500'000'000
        << QStringList{u"No events in this span"_qs}
        << QStringList{u"Now: 5,000,000.00 Hz (+4,999,950.00 Hz)"_qs,
                       u"Lowest: 50.05 Hz at "_qs,
                       u"Highest: 50.05 Hz at "_qs,
                       u"Mean: 50.05 Hz"_qs,
                       u"Outside "_qs,
                       u"Readings: "_qs,
                       u"Readings beyond 45–55 Hz: 1 (5,000,000.00 Hz)"_qs};
}

void TestFrekuensi::trendFigures()
{
    QFETCH(QString, language);
    QFETCH(int, span);
    QFETCH(int, last);
    QFETCH(QStringList, events);
    QFETCH(QStringList, figures);
    const Translation translation{QLocale(language)};
    GridEvents kept;
    const std::unique_ptr<History> history = twoHours(&kept);
    TrendWindow trend(*history, kept, QLocale(language));
    trend.setSpan(TrendWindow::Span(span));
    trend.show();
    QVERIFY(QTest::qWaitForWindowExposed(&trend));
    const int width = trend.chart()->width();
    if (last) {
        history->add(History::Outcome::Reading, last);
        trend.setSpan(TrendWindow::Span(span));
        QCoreApplication::processEvents();
    }
    QCOMPARE(trend.chart()->width(), width);
    const QStringList shown = trend.figures();
    QCOMPARE(shown.size(), figures.size());
    for (qsizetype i = 0; i < figures.size(); ++i)
        QVERIFY2(shown[i].startsWith(figures[i]), qPrintable(shown.join(u'\n')));
    // A screen reader hears the span and the same figures.
    QVERIFY(trend.chart()->accessibleDescription().contains(shown.last()));

    // The span's events, newest first; Enter on the oldest shows the chart around it, a span key
    // the latest again.
    QListWidget *list = trend.eventList();
    QCOMPARE(list->count(), events.size());
    for (int i = 0; i < list->count(); ++i)
        QVERIFY2(list->item(i)->text().endsWith(events[i]), qPrintable(list->item(i)->text()));
    const qint64 now = history->now();
    const std::vector<GridEvents::Event> listed =
        kept.within(now - trend.chart()->span().count(), now);
    if (listed.empty())
        return;
    list->setFocus();
    QTest::keyClick(list, Qt::Key_End);
    QTest::keyClick(list, Qt::Key_Return);
    QVERIFY(!trend.isLive());
    const qint64 from = trend.chart()->end() - trend.chart()->span().count();
    QVERIFY(from < listed.back().startMs && trend.chart()->end() > *listed.back().endMs);
    QTest::keyClick(list, Qt::Key_2);
    QVERIFY(trend.isLive() && trend.span() == TrendWindow::TenMinutes);
}

void TestFrekuensi::trendClockTimes_data()
{
    // The wall clock as the history sees it: at the start, and an hour later after a step of the
    // clock (or a resume from a sleep the monotonic clock did not count); what a moment half an
    // hour after the start and five minutes after the step are labelled.
    QTest::addColumn<qint64>("stepMs");
    QTest::addRow("set 2 h forward by NTP") << 2 * 3'600'000LL;
    QTest::addRow("a resume after 10 min of sleep") << 600'000LL;
    QTest::addRow("set back 30 min") << -1'800'000LL;
    QTest::addRow("drift within a second: no step") << 400LL;
}

void TestFrekuensi::trendClockTimes()
{
    QFETCH(qint64, stepMs);
    const QDateTime start(QDate::currentDate().addDays(-1), QTime(23, 30));
    History history;
    history.noteClock(0, start);
    history.noteClock(3'600'000, start.addMSecs(3'600'000 + stepMs));
    QCOMPARE(history.clockTime(1'800'000), start.addMSecs(1'800'000));
    const QDateTime after = history.clockTime(3'900'000);
    if (std::abs(stepMs) > History::kClockStepMs)
        QCOMPARE(after, start.addMSecs(3'900'000 + stepMs));
    else
        QCOMPARE(after, start.addMSecs(3'900'000));
    QCOMPARE(history.clockSteps(0, 7'200'000).size(),
             std::size_t(std::abs(stepMs) > History::kClockStepMs ? 1 : 0));
    // Yesterday's times carry their weekday; today's do not.
    const QLocale english(u"en_GB"_qs);
    QCOMPARE(TrendChart::clockText(english, start, true),
             u"Mon 23:30:00"_qs.replace(
                 0, 3, english.dayName(start.date().dayOfWeek(), QLocale::ShortFormat)));
    QCOMPARE(TrendChart::clockText(english, QDateTime(QDate::currentDate(), QTime(9, 5)), false),
             u"09:05"_qs);
}

void TestFrekuensi::spanCsv_data()
{
    // Polls from 12:00 on 6 May 2024 at a step, in turn a reading of 49,75 Hz, one of 50,05 Hz,
    // the fifth miss in a row, a stop; the CSV's first lines, of the last minute or the last day.
    QTest::addColumn<QString>("language");
    QTest::addColumn<qint64>("lengthMs");
    QTest::addColumn<qint64>("stepMs");
    QTest::addColumn<QStringList>("lines");
    QTest::addRow("English, poll by poll")
        << u"en_GB"_qs << 1000LL << 250LL
        << QStringList{u"Time,Reading (Hz),Outcome"_qs,
                       u"2024-05-06 12:00:00.000,49.75,reading"_qs,
                       u"2024-05-06 12:00:00.250,50.05,reading"_qs,
                       u"2024-05-06 12:00:00.500,,miss"_qs,
                       u"2024-05-06 12:00:00.750,,Stop"_qs,
                       QString(),
                       u"Start,End,Duration (s),Event"_qs,
                       u"2024-05-06 12:00:00.000,2024-05-06 12:00:00.250,0.250,\"Mon 12:00:00 — "
                       "0 s below 49.80 Hz, lowest 49.75 Hz\""_qs,
                       u"2024-05-06 12:00:00.500,2024-05-06 12:00:00.750,0.250,\"Mon 12:00:00 — "
                       "meter silent for 0 s until Stop: a \"\"reply\"\"\""_qs,
                       QString()};
    QTest::addRow("Indonesian, poll by poll")
        << u"id_ID"_qs << 1000LL << 250LL
        << QStringList{u"Waktu;Pembacaan (Hz);Hasil"_qs,
                       u"2024-05-06 12:00:00,000;49,75;pembacaan"_qs,
                       u"2024-05-06 12:00:00,250;50,05;pembacaan"_qs,
                       u"2024-05-06 12:00:00,500;;gagal"_qs,
                       u"2024-05-06 12:00:00,750;;Stop"_qs,
                       QString(),
                       u"Mulai;Selesai;Lama (detik);Peristiwa"_qs,
                       u"2024-05-06 12:00:00,000;2024-05-06 12:00:00,250;0,250;Sen 12.00.00 — "
                       "0 detik di bawah 49,80 Hz, terendah 49,75 Hz"_qs,
                       u"2024-05-06 12:00:00,500;2024-05-06 12:00:00,750;0,250;\"Sen 12.00.00 — "
                       "alat ukur diam selama 0 detik hingga Stop: a \"\"reply\"\"\""_qs,
                       QString()};
    QTest::addRow("English, two hours per second")
        << u"en_GB"_qs << 7'200'000LL << 15'000LL
        << QStringList{u"Second starting,Lowest (Hz),Mean (Hz),Highest (Hz),Readings,Misses"_qs,
                       u"2024-05-06 12:00:00,49.75,49.750,49.75,1,0"_qs,
                       u"2024-05-06 12:00:15,50.05,50.050,50.05,1,0"_qs,
                       u"2024-05-06 12:00:30,,,,0,1"_qs, u"2024-05-06 12:00:45,,,,0,0"_qs};
    QTest::addRow("Indonesian, five hours per minute")
        << u"id_ID"_qs << 18'000'000LL << 15'000LL
        << QStringList{u"Awal menit;Terendah (Hz);Rata-rata (Hz);Tertinggi (Hz);Pembacaan;Gagal"_qs,
                       u"2024-05-06 12:00:00;49,75;49,900;50,05;2;1"_qs,
                       u"2024-05-06 12:01:00;49,75;49,900;50,05;2;1"_qs};
}

void TestFrekuensi::spanCsv()
{
    QFETCH(QString, language);
    QFETCH(qint64, lengthMs);
    QFETCH(qint64, stepMs);
    QFETCH(QStringList, lines);
    const Translation translation{QLocale(language)};
    History history{std::chrono::milliseconds(lengthMs)};
    GridEvents events;
    history.noteClock(0, QDateTime(QDate(2024, 5, 6), QTime(12, 0)));
    for (qint64 at = 0; at < lengthMs; at += stepMs) {
        const int kind = at / stepMs % 4;
        const History::Outcome outcomes[] = {History::Outcome::Reading, History::Outcome::Reading,
                                             History::Outcome::Miss, History::Outcome::Stop};
        history.add(at, outcomes[kind], kind ? 5005 : 4975);
        if (kind < 2)
            events.reading(at, kind ? 5005 : 4975);
        else if (kind == 2)
            events.miss(at, GridEvents::kSilentAfterMisses, u"a \"reply\""_qs);
        else
            events.stop(at);
    }
    TrendWindow trend(history, events, QLocale(language));
    trend.setSpan(lengthMs > 60'000 ? TrendWindow::Day : TrendWindow::Minute);
    const QByteArray csv = trend.csv()();
    QVERIFY(csv.startsWith("\xEF\xBB\xBF") && csv.endsWith("\r\n"));
    QCOMPARE(QString::fromUtf8(csv.mid(3)).split(u"\r\n"_qs).mid(0, lines.size()), lines);
}

void TestFrekuensi::handoverWrites_data()
{
    // What is written (a PNG at a scale, else the CSV), where in the temporary folder, and how
    // that ends.
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QFileDevice::FileError>("error");
    QTest::addRow("PNG at 100 %%") << 1.0 << u"chart.png"_qs << QFileDevice::NoError;
    QTest::addRow("PNG at 200 %%") << 2.0 << u"chart.png"_qs << QFileDevice::NoError;
    QTest::addRow("CSV") << 0.0 << u"span.csv"_qs << QFileDevice::NoError;
    QTest::addRow("CSV in a folder that is not there")
        << 0.0 << u"gone/span.csv"_qs << QFileDevice::OpenError;
    QTest::addRow("CSV where a folder is") << 0.0 << u"."_qs << QFileDevice::WriteError;
}

void TestFrekuensi::handoverWrites()
{
    QFETCH(qreal, scale);
    QFETCH(QString, path);
    QFETCH(QFileDevice::FileError, error);
    const std::unique_ptr<History> history = twoHours();
    TrendWindow trend(*history, kIndonesian);
    trend.show();
    QVERIFY(QTest::qWaitForWindowExposed(&trend));
    QSignalSpy written(trend.handover(), &TrendExport::written);
    const QString file = m_dir->filePath(path);
    if (scale)
        trend.handover()->writePng(file, TrendExport::picture(trend.chart(), scale));
    else
        trend.handover()->writeCsv(file, trend.csv());
    QTRY_COMPARE(written.size(), 1);
    QCOMPARE(written.first().at(1).value<QFileDevice::FileError>(), error);
    // A failure is said; nothing is left behind.
    QCOMPARE(trend.findChild<QMessageBox *>() != nullptr, error != QFileDevice::NoError);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), error ? 0 : 1);
    if (scale)
        QCOMPARE(QImage(file).size(), trend.chart()->size() * scale);
    else if (!error)
        QCOMPARE(readAll(file), trend.csv()());
}

void TestFrekuensi::titleNamesALastingEvent_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QList<int>>("polls"); // one a second from 0 ms: centihertz, 0 a miss
    QTest::addColumn<bool>("muted");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("announced");

    const QList<int> below(11, 4970); // 10 s at the last poll
    const QString frekuensi = u"Frekuensi"_qs;
    QTest::newRow("9 s below: listed only")
        << frekuensi << QList<int>(10, 4970) << false << frekuensi << 0;
    QTest::newRow("30 s below: told once")
        << frekuensi << QList<int>(31, 4970) << false << u"Frekuensi — below 49.80 Hz"_qs << 1;
    QTest::newRow("ended: the plain title")
        << frekuensi << below + QList{5000} << false << frekuensi << 1;
    QTest::newRow("muted: the title still tells")
        << frekuensi << below << true << u"Frekuensi — below 49.80 Hz"_qs << 0;
    QTest::newRow("the demo's own title") << u"Frekuensi (demo)"_qs << QList<int>(11, 5030) << false
                                          << u"Frekuensi (demo) — above 50.20 Hz"_qs << 1;
    // Silent from the fifth miss, at 7 s.
    QTest::newRow("silent after below: the later one named")
        << frekuensi << QList<int>(3, 4970) + QList<int>(15, 0) << false
        << u"Frekuensi — meter silent"_qs << 2;
}

// The decisions on a known history, looked at after each poll as the window does, with the window
// stopped so that its own polls leave the title alone.
void TestFrekuensi::titleNamesALastingEvent()
{
    QFETCH(QString, base);
    QFETCH(QList<int>, polls);
    QFETCH(bool, muted);

    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    m_window->setWindowTitle(base);
    Announcer *announcer = m_window->announcer();
    announcer->setMuted(muted);
    QSignalSpy announced(announcer, &Announcer::announced);
    const History history(60s);
    GridEvents events;
    int misses = 0;
    for (qsizetype i = 0; i < polls.size(); ++i) {
        misses = polls[i] ? 0 : misses + 1;
        if (misses)
            events.miss(i * 1000, misses, u"no reply"_qs);
        else
            events.reading(i * 1000, polls[i]);
        announcer->look(events, history, i * 1000);
    }
    QTEST(m_window->windowTitle(), "title");
    QTEST(int(announced.size()), "announced");
    // Start ends the muting; the next poll finds no event in the window's own cycle.
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QVERIFY(!announcer->isMuted());
    QTRY_COMPARE(m_window->windowTitle(), base);
}

// Through the poll cycle: a meter silent for 10 s is named in the window's language, then not.
void TestFrekuensi::titleFollowsTheMeter()
{
    const Translation translation{kIndonesian};
    QSignalSpy announced(m_window->announcer(), &Announcer::announced);
    m_device->setSilent();
    choose(u"0,25 detik"_qs);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->windowTitle(), u"Frekuensi — alat ukur diam"_qs, 60'000);
    QCOMPARE(announced.size(), 1);
    // Stop ends it: the title, and the trend window's list at once, though no poll follows.
    m_window->showTrend();
    QVERIFY(QTest::qWaitForWindowExposed(m_window->trendWindow()));
    m_window->stop();
    QCOMPARE(m_window->windowTitle(), u"Frekuensi"_qs);
    QVERIFY2(m_window->trendWindow()->eventList()->item(0)->text().contains(u"hingga Stop"_qs),
             qPrintable(m_window->trendWindow()->eventList()->item(0)->text()));
}

QTEST_MAIN(TestFrekuensi)
#include "tst_frekuensi.moc"
