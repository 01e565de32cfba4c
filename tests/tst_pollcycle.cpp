// The poll cycle with the fields in memory, against the simulated meter twice where the system
// has pseudo-terminals: through the serial port to the device on a pseudo-terminal, then through
// the simulated line inside the program; elsewhere (Windows) through the simulated line only.
#include "demogrid.h"
#include "eventtext.h"
#include "memorypanel.h"
#include "pollcycle.h"
#include "simulatedline.h"
#ifdef Q_OS_UNIX
#include "simulateddevice.h"
#endif

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using Failure = MeterLine::Failure;
using Seen = MissCause::Seen;
Q_DECLARE_METATYPE(Seen)
using Field = Panel::Field;
using Answer = MeterAnswer;

class TestPollCycle : public QObject
{
    Q_OBJECT

public:
    enum class Line { PseudoTerminal, Simulated };
    explicit TestPollCycle(Line line) : m_line(line) {}

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void lineKeepsItsContract_data();
    void lineKeepsItsContract();
    void oneAnswer_data();
    void oneAnswer();
    void missesCountUpAndThePlaceholderStaysOutOfTheFile();
    void singleTickIsCarriedIntoTheNextWait();
    void lateReplyIsNeverReadByTheNextPoll();
    void missingDeviceCountsMisses();
    void vanishingDeviceEndsTheWait();
    void stopDuringTheWaitEndsIt();
    void tickDuringTheWaitIsDropped();
    void silentWaitSleeps();
    void causeOfAMiss_data();
    void causeOfAMiss();
    void reportOverPolls_data();
    void reportOverPolls();
    void meterTimedFromItsRequest_data();
    void meterTimedFromItsRequest();
    void historyOverADay_data();
    void historyOverADay();
    void demoGridIsAGrids_data();
    void demoGridIsAGrids();
    void eventsOverPolls_data();
    void eventsOverPolls();

private:
    // A cycle polling the meter; through the serial port, that of the name given.
    void makeCycle(const QString &portName = {});
    // A cycle whose port is missing, or whose simulated meter is unplugged.
    void makeCycleWithoutMeter();
    QByteArray fileContents() const;
    int watchdogTicksOfOnePoll();
    QObject *meterObject() const { return dynamic_cast<QObject *>(m_meter); }

    const Line m_line;
    std::unique_ptr<QTemporaryDir> m_dir;
#ifdef Q_OS_UNIX
    std::unique_ptr<SimulatedDevice> m_device;
#endif
    SimulatedLine *m_simulated = nullptr; // the cycle's line
    SimulatedMeter *m_meter = nullptr;    // the device, or the simulated line
    std::unique_ptr<MemoryPanel> m_panel;
    std::unique_ptr<PollCycle> m_cycle;
};

namespace {

const QLocale kIndonesian(QLocale::Indonesian, QLocale::Indonesia);
const QByteArray kNoFile = QByteArrayLiteral("<no file>");

} // namespace

void TestPollCycle::initTestCase()
{
    qInfo(m_line == Line::Simulated ? "Through the simulated line"
                                    : "Through the serial port, to a pseudo-terminal");
}

void TestPollCycle::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
#ifdef Q_OS_UNIX
    if (m_line == Line::PseudoTerminal) {
        m_device = std::make_unique<SimulatedDevice>();
        QVERIFY(m_device->plugIn());
        m_meter = m_device.get();
    }
#endif
    makeCycle();
}

void TestPollCycle::cleanup()
{
    m_cycle.reset();
    m_meter = m_simulated = nullptr;
    m_panel.reset();
#ifdef Q_OS_UNIX
    m_device.reset();
#endif
    m_dir.reset();
}

void TestPollCycle::makeCycle([[maybe_unused]] const QString &portName)
{
    m_cycle.reset();
    m_panel = std::make_unique<MemoryPanel>();
    if (m_line == Line::Simulated) {
        auto line = std::make_unique<SimulatedLine>(u"ttyS2"_qs);
        m_meter = m_simulated = line.get();
        m_cycle =
            std::make_unique<PollCycle>(m_panel.get(), std::move(line), m_dir->path(), kIndonesian);
    } else {
#ifdef Q_OS_UNIX
        m_cycle = std::make_unique<PollCycle>(
            m_panel.get(), portName.isEmpty() ? m_device->devicePath() : portName, m_dir->path(),
            kIndonesian);
#endif
    }
    connect(&m_panel->watchdog(), &QTimer::timeout, m_cycle.get(), &PollCycle::watchdogTick);
}

void TestPollCycle::makeCycleWithoutMeter()
{
    makeCycle(u"/dev/frekuensi-no-such-port"_qs);
    if (m_simulated)
        m_simulated->unplug();
}

void TestPollCycle::lineKeepsItsContract_data()
{
    // The line alone, as the poll cycle uses it: opened, "1" sent, closed after a while, then
    // opened again.
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("closeAfterMs");
    QTest::addColumn<bool>("pull");
    QTest::addColumn<bool>("opensAgain");
    QTest::addColumn<bool>("stale");
    QTest::newRow("answered before the close: nothing left over")
        << QByteArray("10000\r\n") << 0 << 150 << false << true << false;
    QTest::newRow("an answer on its way at the close is stale at the next open")
        << QByteArray("10000\r\n") << 200 << 20 << false << true << true;
    QTest::newRow("pulled: the open fails as a missing port's")
        << QByteArray("10000\r\n") << 200 << 20 << true << false << false;
}

void TestPollCycle::lineKeepsItsContract()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, delayMs);
    QFETCH(int, closeAfterMs);
    QFETCH(bool, pull);
    QFETCH(bool, opensAgain);
    QFETCH(bool, stale);
    m_meter->setAnswer(answer, std::chrono::milliseconds(delayMs));
    MeterLine &line = m_cycle->link();
    // Closed: every operation but the close fails; the count of bytes waiting is no 0.
    QVERIFY(!line.isOpen());
    QVERIFY(!line.bytesWaiting());
    QVERIFY(!line.readAll());
    QVERIFY(!line.peekAll());
    QVERIFY(!line.send("1"));
    QVERIFY(line.open());
    QVERIFY(!line.open());
    QVERIFY(line.send("1"));
    QTest::qWait(closeAfterMs);
    // Read all takes everything there, and leaves nothing waiting.
    if (!answer.isEmpty() && closeAfterMs > delayMs) {
        QCOMPARE(line.readAll().value_or("?"), answer);
        QCOMPARE(line.bytesWaiting().value_or(-1), 0);
    }
    QSignalSpy closed(&line, &MeterLine::closed);
    line.close();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!line.bytesWaiting());
    if (pull) {
        m_meter->unplug();
    } else if (!answer.isEmpty() && delayMs > closeAfterMs) {
        QSignalSpy answered(meterObject(), SIGNAL(answered(int)));
        QVERIFY(answered.wait(2000));
    }
    QCOMPARE(line.open(), opensAgain);
    if (opensAgain) {
        QCOMPARE(line.foundStaleBytes(), stale);
        QCOMPARE(line.bytesWaiting().value_or(-1), 0);
    } else {
        QCOMPARE(line.failure(), Failure::PortMissing);
    }
    line.close();
}

QByteArray TestPollCycle::fileContents() const
{
    // The file is written on the writer's thread: read it once everything handed over is dealt
    // with.
    if (!QTest::qWaitFor([this] { return !m_cycle->readingWriter().isBehind(); }, 5000))
        return "<writer still busy>";
    QFile file(m_cycle->readingWriter().path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : kNoFile;
}

int TestPollCycle::watchdogTicksOfOnePoll()
{
    QSignalSpy ticks(&m_panel->watchdog(), &QTimer::timeout);
    m_cycle->pollTick();
    return int(ticks.count());
}

void TestPollCycle::oneAnswer_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("misses");
    QTest::addColumn<QByteArray>("file");

    QTest::newRow("7 bytes are read")
        << QByteArray("10000\r\n") << 0 << "50,00" << 0 << QByteArray("50,00\r\n");
    QTest::newRow("6 bytes are never read")
        << QByteArray("10000\r") << 0 << "00,00" << 1 << kNoFile;
    QTest::newRow("answer after 50 ms")
        << QByteArray("9990\r\n\r\n") << 50 << "50,05" << 0 << QByteArray("50,05\r\n");
    QTest::newRow("answer after 250 ms is too late")
        << QByteArray("10000\r\n") << 250 << "00,00" << 1 << kNoFile;
    QTest::newRow("garbage counts as a miss")
        << QByteArray("abc\x01\xff\r\n") << 0 << "00,00" << 1 << kNoFile;
    QTest::newRow("zero counts as a miss") << QByteArray("0000000") << 0 << "00,00" << 1 << kNoFile;
    QTest::newRow("62,50 is shown, not written")
        << QByteArray("8000\r\n\r\n") << 0 << "62,50" << 0 << kNoFile;
    QTest::newRow("48,0031 shows 48,00, not written")
        << QByteArray("10416\r\n") << 0 << "48,00" << 0 << kNoFile;
    QTest::newRow("negative is shown, not written")
        << QByteArray("-10000\r\n") << 0 << "-50,00" << 0 << kNoFile;
}

void TestPollCycle::oneAnswer()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, delayMs);
    QFETCH(QString, shown);
    QFETCH(int, misses);
    QFETCH(QByteArray, file);

    m_meter->setAnswer(reply, std::chrono::milliseconds(delayMs));
    m_cycle->pollTick();

    QCOMPARE(m_meter->requestCount(), 1);
    QCOMPARE(m_panel->text(Field::d_frekuensi), shown);
    QCOMPARE(m_panel->text(Field::Text3), QString::number(misses));
    QCOMPARE(m_cycle->missCount(), misses);
    QCOMPARE(fileContents(), file);
    QVERIFY(!m_cycle->link().isOpen());
    QVERIFY(!m_panel->watchdog().isActive());
    // Heartbeat after the first poll.
    QCOMPARE(m_panel->text(Field::indikator), QStringLiteral("1"));
    QCOMPARE(m_panel->background(Field::indikator), Panel::kLightBlue);
}

void TestPollCycle::missesCountUpAndThePlaceholderStaysOutOfTheFile()
{
    m_meter->setAnswer("10000\r\n");
    m_cycle->pollTick();
    QCOMPARE(fileContents(), QByteArray("50,00\r\n"));

    m_meter->setSilent();
    for (int miss = 1; miss <= 7; ++miss) {
        QFile::remove(m_cycle->readingWriter().path());
        m_cycle->pollTick();
        QCOMPARE(m_panel->text(Field::Text3), QString::number(miss));
        // The watchdog box keeps its last count on blue after a deadline.
        QCOMPARE(m_panel->text(Field::Text1), QStringLiteral("2"));
        QCOMPARE(m_panel->background(Field::Text1), Panel::kBlue);
        // Heartbeat: 1 after odd polls, 2 after even ones (the answered poll was the first).
        QCOMPARE(m_panel->text(Field::indikator), miss % 2 ? QStringLiteral("2") : "1");
        QCOMPARE(m_panel->background(Field::indikator),
                 miss % 2 ? Panel::kBlue : Panel::kLightBlue);
        // The meter is silent from the poll that shows the placeholder.
        QCOMPARE(m_cycle->events().open().size(), miss <= 4 ? 0u : 1u);
        if (miss <= 4) {
            QCOMPARE(m_panel->text(Field::d_frekuensi), QStringLiteral("50,00"));
            QCOMPARE(fileContents(), QByteArray("50,00\r\n"));
        } else {
            QCOMPARE(m_panel->text(Field::d_frekuensi), QStringLiteral("00,00"));
            QCOMPARE(fileContents(), kNoFile);
        }
    }

    m_meter->setAnswer("9990\r\n\r\n");
    m_cycle->pollTick();
    QCOMPARE(m_panel->text(Field::d_frekuensi), QStringLiteral("50,05"));
    QCOMPARE(m_panel->text(Field::Text3), QStringLiteral("0"));
    QCOMPARE(fileContents(), QByteArray("50,05\r\n"));
    QCOMPARE(m_cycle->events().all().size(), 1u);
    QVERIFY(m_cycle->events().open().empty());
    QVERIFY(!m_cycle->events().all().front().cause.isEmpty());
}

void TestPollCycle::singleTickIsCarriedIntoTheNextWait()
{
    // Answered between the first tick (100 ms) and the second (200 ms).
    m_meter->setAnswer("10000\r\n", 150ms);
    QCOMPARE(watchdogTicksOfOnePoll(), 1);
    QCOMPARE(m_cycle->waitTicks(), 1);
    QCOMPARE(m_cycle->missCount(), 0);
    QCOMPARE(m_panel->text(Field::Text1), QStringLiteral("1"));
    QCOMPARE(m_panel->background(Field::Text1), Panel::kLightBlue);

    // The carried tick makes the next deadline the first tick.
    m_meter->setSilent();
    QCOMPARE(watchdogTicksOfOnePoll(), 1);
    QCOMPARE(m_cycle->waitTicks(), 0);
    QCOMPARE(m_cycle->missCount(), 1);

    // Counted afresh: two ticks again.
    QCOMPARE(watchdogTicksOfOnePoll(), 2);
    QCOMPARE(m_cycle->missCount(), 2);
}

void TestPollCycle::lateReplyIsNeverReadByTheNextPoll()
{
    m_meter->setResponder([](int request) {
        return request == 0 ? Answer{"8000\r\n\r\n", 250ms} : Answer{"10000\r\n", 0ms};
    });
    QSignalSpy answered(meterObject(), SIGNAL(answered(int)));
    m_cycle->pollTick();
    QCOMPARE(m_cycle->missCount(), 1);
    // The late answer arrives while the port is closed.
    QVERIFY(answered.wait(1000));

    m_cycle->pollTick();
    QCOMPARE(m_panel->text(Field::d_frekuensi), QStringLiteral("50,00"));
    QCOMPARE(m_cycle->missCount(), 0);
}

void TestPollCycle::missingDeviceCountsMisses()
{
    makeCycleWithoutMeter();
    m_panel->setText(Field::d_frekuensi, QStringLiteral("49,50"));
    for (int miss = 1; miss <= 6; ++miss) {
        QFile::remove(m_cycle->readingWriter().path());
        // The wait ends at once, without a watchdog tick.
        QCOMPARE(watchdogTicksOfOnePoll(), 0);
        QCOMPARE(m_panel->text(Field::Text3), QString::number(miss));
        QCOMPARE(m_panel->text(Field::indikator), miss % 2 ? QStringLiteral("1") : "2");
        QCOMPARE(fileContents(), miss <= 4 ? QByteArray("49,50\r\n") : kNoFile);
    }
    QCOMPARE(m_panel->text(Field::d_frekuensi), QStringLiteral("00,00"));
}

void TestPollCycle::vanishingDeviceEndsTheWait()
{
    // Polled through a link that goes with the device: its freed pseudo-terminal may soon be
    // another test's device.
    const QString port = m_dir->filePath(QStringLiteral("ttyS2"));
#ifdef Q_OS_UNIX
    if (m_line == Line::PseudoTerminal) {
        QVERIFY(QFile::link(m_device->devicePath(), port));
        makeCycle(port);
    }
#endif
    m_meter->setSilent();
    QTimer unplugLater;
    unplugLater.setSingleShot(true);
    unplugLater.setInterval(30ms);
    connect(meterObject(), SIGNAL(requestReceived(int)), &unplugLater, SLOT(start()));
    connect(&unplugLater, &QTimer::timeout, this, [&, this] {
        m_meter->unplug();
        QFile::remove(port);
    });
    QCOMPARE(watchdogTicksOfOnePoll(), 0);
    QCOMPARE(m_cycle->missCount(), 1);
    QVERIFY(!m_cycle->link().isOpen());

    QCOMPARE(watchdogTicksOfOnePoll(), 0);
    QCOMPARE(m_cycle->missCount(), 2);
}

void TestPollCycle::stopDuringTheWaitEndsIt()
{
    m_meter->setSilent();
    // What Stop does to a waiting poll: the port is closed and the watchdog disabled under it.
    QTimer::singleShot(30ms, this, [this] {
        QVERIFY(m_cycle->link().isOpen());
        m_cycle->releasePort();
        m_panel->setWatchdogEnabled(false);
    });
    // A wait that missed the close would sleep until this wakes it, not for ever.
    QTimer::singleShot(3s, this, [] {});
    QElapsedTimer poll;
    poll.start();
    QCOMPARE(watchdogTicksOfOnePoll(), 0);
    QVERIFY2(poll.elapsed() < 2500, qPrintable(QString::number(poll.elapsed())));
    QVERIFY(!m_cycle->link().isOpen());
    QCOMPARE(m_cycle->missCount(), 1);
    QCOMPARE(m_panel->text(Field::Text3), QStringLiteral("1"));
    QCOMPARE(m_panel->text(Field::indikator), QStringLiteral("1"));
}

void TestPollCycle::tickDuringTheWaitIsDropped()
{
    m_meter->setAnswer("10000\r\n", 100ms);
    QTimer::singleShot(20ms, m_cycle.get(), &PollCycle::pollTick);
    m_cycle->pollTick();
    QCOMPARE(m_meter->requestCount(), 1);
    QCOMPARE(m_panel->text(Field::indikator), QStringLiteral("1"));
    QVERIFY(!m_cycle->isPolling());
}

void TestPollCycle::silentWaitSleeps()
{
    m_meter->setSilent();
    const int before = m_panel->passes();
    m_cycle->pollTick();
    // Two watchdog ticks and a few notifications wake the wait; a spinning wait runs thousands.
    const int passes = m_panel->passes() - before;
    qInfo("%d event passes in a silent wait", passes);
    QVERIFY(passes < 50);
}

namespace {

Seen waited(qint64 waiting, const QByteArray &part = {}, bool staleAtOpen = false)
{
    Seen seen;
    seen.opened = true;
    seen.waiting = waiting;
    seen.part = part;
    seen.staleAtOpen = staleAtOpen;
    seen.deadlineMs = 200;
    return seen;
}

Seen failed(Failure failure)
{
    Seen seen = waited(0);
    seen.failure = failure;
    seen.failureText = u"system's words"_qs;
    return seen;
}

} // namespace

void TestPollCycle::causeOfAMiss_data()
{
    QTest::addColumn<Seen>("seen");
    QTest::addColumn<int>("kind"); // MissCause::Kind; -1: no cause (Stop or Exit)
    QTest::addColumn<QString>("says");

    Seen afterCarriedTick = waited(0);
    afterCarriedTick.deadlineMs = 100;
    Seen unreadable = waited(9);
    unreadable.replied = true;
    Seen readLate = waited(7);
    readLate.replied = readLate.tookReading = true;
    Seen slow = waited(0);
    slow.slowAnswer = ReplyTiming::Answer{400};
    slow.slowDeadlineMs = 200;
    Seen stopped = waited(0);
    stopped.waiting.reset();

    QTest::newRow("port missing") << failed(Failure::PortMissing) << int(MissCause::PortMissing)
                                  << u"Port ttyS2 does not exist"_qs;
    QTest::newRow("pulled during the poll")
        << failed(Failure::DeviceGone) << int(MissCause::DeviceGone) << u"went away"_qs;
    QTest::newRow("send refused") << failed(Failure::SendFailed) << int(MissCause::SendFailed)
                                  << u"could not be sent to the meter: system's words"_qs;
    QTest::newRow("closed by Stop") << stopped << -1 << QString();
    Seen keptLine = waited(0);
    keptLine.lineKeepsReplies = true;

    QTest::newRow("silence, or a reply lost while the port was closed")
        << waited(0) << int(MissCause::NoReply)
        << u"within 200 ms: the meter is silent, or answers later than that"_qs;
    QTest::newRow("silence on a line that kept a late reply")
        << keptLine << int(MissCause::NoReplyLater) << u"within 200 ms, nor later"_qs;
    QTest::newRow("silence after a carried tick")
        << afterCarriedTick << int(MissCause::NoReply) << u"within 100 ms"_qs;
    QTest::newRow("whole reply of 6 bytes")
        << waited(6, "9990\r\n") << int(MissCause::ShortReply) << u"too short (6 bytes)"_qs;
    QTest::newRow("whole reply of 5 bytes ending in CR")
        << waited(5, "9990\r") << int(MissCause::ShortReply) << u"too short (5 bytes)"_qs;
    QTest::newRow("7 bytes cut by the deadline after their CR")
        << waited(6, "10000\r") << int(MissCause::LateReply) << u"too late (after 200 ms)"_qs;
    QTest::newRow("a start without a line end")
        << waited(3, "100") << int(MissCause::LateReply) << u"too late"_qs;
    QTest::newRow("last poll's reply found at open")
        << waited(0, {}, true) << int(MissCause::LateReply) << u"too late"_qs;
    QTest::newRow("reading taken after the deadline")
        << readLate << int(MissCause::LateReply) << u"too late"_qs;
    QTest::newRow("reply that is not a reading")
        << unreadable << int(MissCause::NotAReading) << u"not a reading"_qs;
    QTest::newRow("replies keep coming late")
        << slow << int(MissCause::SlowMeter) << u"about 400 ms, after the 200 ms deadline"_qs;
}

void TestPollCycle::causeOfAMiss()
{
    QFETCH(Seen, seen);
    QFETCH(int, kind);
    QFETCH(QString, says);
    const std::optional<MissCause> cause = MissCause::of(u"ttyS2"_qs, seen);
    QCOMPARE(cause ? int(cause->kind()) : -1, kind);
    if (cause)
        QVERIFY2(cause->text().contains(says), qPrintable(cause->text()));
}

void TestPollCycle::reportOverPolls_data()
{
    // One letter a poll: r a reading, n no reply, l a late reply, p the port missing, g the
    // device gone; a second apart. The lines said, and what the box shows at the end.
    QTest::addColumn<QString>("polls");
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QString>("box");

    const QString noReply = u"polls miss: No reply from the meter within 200 ms"_qs;
    const QString missing = u"polls miss: Port ttyS2 does not exist"_qs;
    QTest::newRow("a cause said once while it lasts")
        << u"rnnnnn"_qs << QStringList{noReply} << u"No reply"_qs;
    QTest::newRow("readings again after ten in a row")
        << u"nnrrrrrrrrrr"_qs << QStringList{noReply, u"readings again"_qs} << QString();
    QTest::newRow("its words change while every poll misses: said once they hold")
        << u"nnlllp"_qs << QStringList{noReply, u"polls miss: The meter's reply came"_qs, missing}
        << u"Port ttyS2"_qs;
    QTest::newRow("alternation: the pattern once a minute")
        << u"nrnrnrnrnr"_qs << QStringList{noReply, u"polls miss now and then: 2 of the last 3"_qs}
        << u"5 of the last 10 polls missed: No reply"_qs;
    QTest::newRow("a flaky spell, then the adapter pulled")
        << u"nrnrnrnrnrgppp"_qs
        << QStringList{noReply, u"polls miss now and then"_qs,
                       u"polls miss: The meter went away"_qs, missing}
        << u"Port ttyS2 does not exist"_qs;
    QTest::newRow("a flaky spell, then the meter dead for ten minutes")
        << u"nrnrnr"_qs + QString(600, u'n')
        << QStringList{noReply, u"polls miss now and then"_qs, noReply} << u"No reply"_qs;
    // n a no reply in 100 ms after a carried tick, s a meter answering in about 350 ms (S 250 ms).
    QTest::newRow("a slow meter: a first word, then its time once settled")
        << u"nrmrlrsSrsssrs"_qs
        << QStringList{noReply, u"polls miss: The meter answers in about 350 ms"_qs}
        << u"about 350 ms"_qs;
    QTest::newRow("back after the pull, flaky again")
        << u"nrnrppprnrn"_qs << QStringList{noReply, u"polls miss now and then"_qs, missing}
        << u"of the last 10 polls missed: No reply"_qs;
}

void TestPollCycle::reportOverPolls()
{
    QFETCH(QString, polls);
    QFETCH(QStringList, said);
    QFETCH(QString, box);
    MissReport report;
    MissReport::Clock::time_point now;
    QStringList lines;
    for (const QChar poll : polls) {
        const auto kind =
            QHash<QChar, MissCause::Kind>{
                {u'r', MissCause::None},        {u'n', MissCause::NoReply},
                {u'm', MissCause::NoReply},     {u'l', MissCause::LateReply},
                {u'p', MissCause::PortMissing}, {u'g', MissCause::DeviceGone},
                {u's', MissCause::SlowMeter},   {u'S', MissCause::SlowMeter}}
                .value(poll);
        const MissCause cause(kind, u"ttyS2"_qs, {}, poll == u'm' ? 100 : 200,
                              poll == u's' ? 350 : 250);
        if (const auto line = report.pollEnded(cause, now += 1s))
            lines << line->text;
    }
    QCOMPARE(lines.size(), said.size());
    for (qsizetype i = 0; i < said.size(); ++i)
        QVERIFY2(lines[i].startsWith(said[i]), qPrintable(lines.join(u'\n')));
    QVERIFY2(box.isEmpty() ? report.boxLine().isEmpty() : report.boxLine().contains(box),
             qPrintable(report.boxLine()));
    // The box names a cause that holds for every poll alone, without a pattern.
    if (polls.endsWith(u"pp"_qs) || polls.endsWith(u"nnnnnnnnnn"_qs))
        QVERIFY(!report.boxLine().contains(u"polls missed"_qs));
}

void TestPollCycle::meterTimedFromItsRequest_data()
{
    // A meter answering every request after its delay, from a poll on, polled at an interval with
    // the 200 ms deadline: the time told is within a fifth of the delay, or only what it is later
    // than, where the polls cannot see when the replies came.
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("fromPoll");
    QTest::addColumn<int>("laterThanMs"); // 0: a figure
    QTest::newRow("150 ms at 0,25 s: within its poll") << 250 << 150 << 0 << 0;
    QTest::newRow("350 ms at 0,25 s: in the next poll's wait") << 250 << 350 << 0 << 0;
    QTest::newRow("480 ms at 0,25 s: found two opens later") << 250 << 480 << 0 << 0;
    QTest::newRow("900 ms at 0,25 s: in the fourth poll's wait") << 250 << 900 << 0 << 0;
    QTest::newRow("150 ms at 1,00 s: within its poll") << 1000 << 150 << 0 << 0;
    QTest::newRow("350 ms at 1,00 s: found at the next open") << 1000 << 350 << 0 << 200;
    QTest::newRow("480 ms at 1,00 s: found at the next open") << 1000 << 480 << 0 << 200;
    QTest::newRow("900 ms at 1,00 s: found at the next open") << 1000 << 900 << 0 << 200;
    QTest::newRow("back after a silence, answering at once") << 250 << 50 << 8 << 0;
}

void TestPollCycle::meterTimedFromItsRequest()
{
    QFETCH(int, intervalMs);
    QFETCH(int, delayMs);
    QFETCH(int, fromPoll);
    QFETCH(int, laterThanMs);
    using Clock = ReplyTiming::Clock;
    ReplyTiming timing;
    std::vector<Clock::time_point> replies; // when each comes, in order
    Clock::time_point closedAt;
    for (int poll = 0; poll < 20; ++poll) {
        const Clock::time_point openedAt = Clock::time_point() + poll * 1ms * intervalMs;
        // Whatever came while the port was closed waits at open, and is cleared.
        timing.portOpened(openedAt, std::any_of(replies.begin(), replies.end(), [&](auto at) {
                              return at > closedAt && at <= openedAt;
                          }));
        timing.requestSent(openedAt);
        if (poll >= fromPoll)
            replies.push_back(openedAt + 1ms * delayMs);
        // The wait ends at the deadline, or at once with a reply.
        closedAt = openedAt + 200ms;
        const auto seen = std::find_if(replies.begin(), replies.end(),
                                       [&](auto at) { return at >= openedAt && at < closedAt; });
        if (seen != replies.end())
            timing.replySeen(closedAt = *seen);
        timing.pollEnded(false);
        timing.portClosed(closedAt);
    }
    const std::optional<ReplyTiming::Answer> answer = timing.answer();
    QVERIFY(answer);
    const QString told =
        u"%1 %2 ms"_qs.arg(answer->later ? u"later than"_qs : u"about"_qs).arg(answer->ms);
    qInfo("%d ms at %d ms: told %s", delayMs, intervalMs, qPrintable(told));
    if (laterThanMs)
        QVERIFY2(answer->later && answer->ms == laterThanMs, qPrintable(told));
    else
        QVERIFY2(!answer->later && std::abs(answer->ms - delayMs) * 5 <= delayMs, qPrintable(told));
}

namespace {

// A day and an hour of 0,25 s polls at 50,00 Hz, with one poll's spike to 50,30 Hz at hour 12, the
// meter silent for ten minutes from 23:00 and the polls stopped for a minute from 23:30.
const History &aDayOfPolls()
{
    static const History history = [] {
        constexpr qint64 kHour = 3'600'000;
        History day(std::chrono::hours(25));
        for (qint64 at = 0; at < 25 * kHour; at += 250) {
            if (at >= 23 * kHour + 30 * 60'000 && at < 23 * kHour + 31 * 60'000) {
                if (at == 23 * kHour + 30 * 60'000)
                    day.add(at, History::Outcome::Stop);
                continue;
            }
            const bool silent = at >= 23 * kHour && at < 23 * kHour + 10 * 60'000;
            day.add(at, silent ? History::Outcome::Miss : History::Outcome::Reading,
                    at == 12 * kHour ? 5030 : 5000);
        }
        return day;
    }();
    return history;
}

} // namespace

void TestPollCycle::historyOverADay_data()
{
    // A span of the day above, in minutes from its start; what its columns (one a minute) and its
    // figures hold.
    QTest::addColumn<int>("fromMinute");
    QTest::addColumn<int>("toMinute");
    QTest::addColumn<int>("readings");
    QTest::addColumn<int>("misses");
    QTest::addColumn<int>("gappedColumns"); // columns with a miss or a stop
    QTest::addColumn<int>("highest");
    QTest::addRow("dropped after a day") << 0 << 59 << 0 << 0 << 0 << 0;
    QTest::addRow("the day: a one-poll spike kept per minute")
        << 60 << 1500 << 1440 * 240 - 10 * 240 - 240 << 2400 << 11 << 5030;
    QTest::addRow("ten minutes silent: gaps, no readings") << 1380 << 1390 << 0 << 2400 << 10 << 0;
    QTest::addRow("a stop: a gap, not a miss") << 1410 << 1412 << 240 << 0 << 1 << 5000;
    QTest::addRow("across the hour's boundary, poll by poll and per second")
        << 1435 << 1445 << 2400 << 0 << 0 << 5000;
}

void TestPollCycle::historyOverADay()
{
    QFETCH(int, fromMinute);
    QFETCH(int, toMinute);
    QFETCH(int, readings);
    QFETCH(int, misses);
    QFETCH(int, gappedColumns);
    QFETCH(int, highest);
    const History &day = aDayOfPolls();
    const qint64 from = fromMinute * 60'000LL, to = toMinute * 60'000LL;
    const std::vector<History::Stretch> columns = day.columns(from, to, toMinute - fromMinute);
    History::Stretch all;
    for (const History::Stretch &column : columns)
        all.add(column);
    QCOMPARE(all.readings, readings);
    QCOMPARE(int(std::count_if(columns.begin(), columns.end(),
                               [](const History::Stretch &column) { return column.gaps > 0; })),
             gappedColumns);
    const History::Figures figures = day.figures(from, to);
    QCOMPARE(figures.readings, readings);
    QCOMPARE(figures.misses, misses);
    QCOMPARE(figures.highest.value_or(0), highest);
    // Bounded: well under 8 MiB after a day at 0,25 s.
    QVERIFY2(day.memoryBytes() < 8u << 20, qPrintable(QString::number(day.memoryBytes())));
    qInfo("kept after a day at 0,25 s: %zu bytes", day.memoryBytes());
}

void TestPollCycle::demoGridIsAGrids_data()
{
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<quint32>("seed");
    for (const quint32 seed : {1u, 2u, 3u, 4u}) {
        QTest::addRow("polled every 1,00 s, grid %u", seed) << 1000 << seed;
        QTest::addRow("polled every 0,25 s, grid %u", seed) << 250 << seed;
    }
}

void TestPollCycle::demoGridIsAGrids()
{
    // Ten minutes of the demo's meter: most polls read within 49,80-50,20 Hz, an excursion is back
    // within a minute, and about once a minute seven polls in a row get no answer.
    QFETCH(int, intervalMs);
    QFETCH(quint32, seed);
    if (m_line == Line::PseudoTerminal)
        QSKIP("the grid does not depend on the line");
    DemoGrid grid(seed);
    int polls = 0, answered = 0, inBand = 0, nearNominal = 0, excursions = 0, silences = 0,
        silentRun = 0;
    qint64 outsideSince = -1, longestOutside = 0;
    for (qint64 at = 0; at < 600'000; at += intervalMs, ++polls) {
        const MeterAnswer answer = grid.answer(at);
        if (answer.bytes.isEmpty()) {
            silences += ++silentRun == 1;
            continue;
        }
        if (silentRun)
            QCOMPARE(silentRun, DemoGrid::kSilentPolls);
        silentRun = 0;
        QVERIFY(answer.bytes.size() > PollCycle::kShortestReply);
        QVERIFY(answer.delay < 100ms);
        const double hertz = 1'000'000.0 / (2.0 * answer.bytes.trimmed().toDouble());
        const bool inside = hertz >= 49.80 && hertz <= 50.20;
        ++answered;
        inBand += inside;
        nearNominal += std::abs(hertz - 50.0) <= 0.10;
        if (inside)
            outsideSince = -1;
        else if (outsideSince < 0)
            outsideSince = at, ++excursions;
        longestOutside = std::max(longestOutside, outsideSince < 0 ? 0 : at - outsideSince);
    }
    qInfo("%d polls: %.1f %% inside 49,80-50,20 Hz, %.1f %% of the answered within 0,10 Hz of "
          "50 Hz, %d excursions, the longest %lld s, %d silences",
          polls, 100.0 * inBand / polls, 100.0 * nearNominal / answered, excursions,
          longestOutside / 1000, silences);
    QVERIFY(inBand * 100 >= polls * 70);
    QVERIFY(nearNominal * 100 >= answered * 80);
    QVERIFY(excursions >= 1);
    QVERIFY(longestOutside < 60'000);
    QVERIFY(silences >= 8 && silences <= 13);
}

void TestPollCycle::eventsOverPolls_data()
{
    // One letter a poll, a second apart: r a reading of 50,00 Hz, b 49,75, l 49,70, a 50,25,
    // h 50,30, w 90,00 (a reply that lost a byte), n a miss, s Stop and Start again; D a day
    // without polls. The events kept (kind, start-end in seconds, ! ended by Stop, the extreme
    // and when), those overlapping a span newest first, and how the newest is told.
    QTest::addColumn<QString>("polls");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("fromSecond");
    QTest::addColumn<int>("toSecond");
    QTest::addColumn<QString>("within");
    QTest::addColumn<QString>("told");
    QTest::newRow("an excursion with a miss inside")
        << u"rbbnlbr"_qs << u"B1-6:4970@4"_qs << 0 << 9 << u"B"_qs
        << u"5 s below 49.80 Hz, lowest 49.70 Hz"_qs;
    QTest::newRow("one across Stop ends there; after Start, another")
        << u"rhasar"_qs << u"A1-3!:5030@1 A4-5:5025@4"_qs << 0 << 3 << u"A"_qs
        << u"1 s above 50.20 Hz, highest 50.25 Hz"_qs;
    QTest::newRow("one that lasts") << u"rbbl"_qs << u"B1-:4970@3"_qs << 0 << 9 << u"B"_qs
                                    << u"2 s below 49.80 Hz, still lasting, lowest 49.70 Hz"_qs;
    QTest::newRow("silence from the fifth miss in a row, back at a reading")
        << u"rnnnnrnnnnnnnr"_qs << u"S10-13"_qs << 0 << 19 << u"S"_qs
        << u"meter silent for 3 s: No reply"_qs;
    QTest::newRow("silence across Stop; the count starts afresh")
        << u"nnnnnsnnnnr"_qs << u"S4-5!"_qs << 0 << 9 << u"S"_qs
        << u"meter silent for 1 s until Stop: No reply"_qs;
    QTest::newRow("wild readings end a silence, not an excursion")
        << u"bwbrwnnnnnwr"_qs << u"B0-3:4975@0 S9-10"_qs << 0 << 20 << u"SB"_qs
        << u"meter silent for 1 s: No reply"_qs;
    QTest::newRow("below to above: one ends, the other starts")
        << u"bhr"_qs << u"B0-1:4975@0 A1-2:5030@1"_qs << 0 << 9 << u"AB"_qs
        << u"1 s above 50.20 Hz, highest 50.30 Hz"_qs;
    QTest::newRow("a silence inside an excursion")
        << u"bnnnnnlr"_qs << u"B0-7:4970@6 S5-6"_qs << 6 << 9 << u"SB"_qs
        << u"meter silent for 1 s: No reply"_qs;
    QTest::newRow("longer than the span shown, and one after it")
        << u"rbbbbbbbbbbrnnnnnr"_qs << u"B1-11:4975@1 S16-17"_qs << 4 << 6 << u"B"_qs
        << u"meter silent for 1 s: No reply"_qs;
    QTest::newRow("a day's limit: dropped a day after it ended")
        << u"bbrDr"_qs << QString() << 0 << 90'000 << QString() << QString();
    QTest::newRow("a day's limit: kept while it lasts")
        << u"bbbDrr"_qs << u"B0-86403:4975@0"_qs << 86'402 << 86'403 << u"B"_qs
        << u"24 h below 49.80 Hz, lowest 49.75 Hz"_qs;
    QTest::newRow("a grid crossing the edge on every poll: bounded, the newest kept")
        << u"bh"_qs.repeated(6000) << u"10000 … A11999-:5030@11999"_qs << 11'999 << 11'999
        << u"AB"_qs << u"0 s above 50.20 Hz, still lasting, highest 50.30 Hz"_qs;
}

void TestPollCycle::eventsOverPolls()
{
    QFETCH(QString, polls);
    QFETCH(QString, kept);
    QFETCH(int, fromSecond);
    QFETCH(int, toSecond);
    QFETCH(QString, within);
    QFETCH(QString, told);
    const QHash<QChar, int> readings{{u'r', 5000}, {u'b', 4975}, {u'l', 4970},
                                     {u'a', 5025}, {u'h', 5030}, {u'w', 9000}};
    GridEvents events;
    qint64 at = 0;
    int misses = 0;
    for (const QChar poll : polls) {
        if (poll == u'D')
            at += std::chrono::milliseconds(History::kKept).count() - 1000;
        else if (poll == u's')
            events.stop(at), misses = 0;
        else if (poll == u'n')
            events.miss(at, ++misses, u"No reply"_qs);
        else
            events.reading(at, readings.value(poll)), misses = 0;
        at += 1000;
    }
    QStringList all;
    for (const GridEvents::Event &event : events.all()) {
        all << u"%1%2-%3%4"_qs.arg(u"BAS"_qs[int(event.kind)])
                   .arg(event.startMs / 1000)
                   .arg(event.endMs ? QString::number(*event.endMs / 1000) : QString(),
                        event.endedByStop ? u"!"_qs : QString());
        if (event.kind != GridEvents::Kind::Silent)
            all.last() += u":%1@%2"_qs.arg(event.extreme).arg(event.extremeAtMs / 1000);
    }
    if (all.size() > 3)
        all = QStringList{QString::number(all.size()) + u" …"_qs, all.back()};
    QCOMPARE(all.join(u' '), kept);
    QString overlapping;
    for (const GridEvents::Event &event : events.within(fromSecond * 1000LL, toSecond * 1000LL))
        overlapping += u"BAS"_qs[int(event.kind)];
    QCOMPARE(overlapping, within);
    if (!events.all().empty()) {
        const QString line =
            EventText::line(events.all().back(), at - 1000, QLocale(QLocale::English), History());
        QCOMPARE(line.section(u" — "_qs, 1), told);
    }
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int status = 0;
#ifdef Q_OS_UNIX
    TestPollCycle throughPseudoTerminal(TestPollCycle::Line::PseudoTerminal);
    status |= QTest::qExec(&throughPseudoTerminal, argc, argv);
#endif
    TestPollCycle throughSimulatedLine(TestPollCycle::Line::Simulated);
    status |= QTest::qExec(&throughSimulatedLine, argc, argv);
    return status;
}

#include "tst_pollcycle.moc"
