// The serial link on a real pseudo-terminal with the simulated device on the other side.
#include "seriallink.h"
#include "simulateddevice.h"

#include <QFileInfo>
#include <QLockFile>
#include <QTest>

#include <termios.h>

class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void closedPortFailsEveryOperation();
    void missingPortFailsToOpen();
    void openTwiceFails();
    void busyPortFailsToOpen();
    void staleBytesAreDiscardedOnOpen();
    void requestLeavesBeforeAnImmediateClose();
    void closeLeavesTheModemLinesUp();
    void portLockedByAnotherProgramIsLeftAlone();
    void modemLinesFollowTheAdapter_data();
    void modemLinesFollowTheAdapter();
    void chatteringDeviceDoesNotWedgeTheLink();
    void vanishedDeviceClosesTheLink();

private:
    SimulatedDevice *m_device = nullptr;
};

void TestSerialLink::init()
{
    m_device = new SimulatedDevice;
    QVERIFY(m_device->plugIn());
    m_device->setSilent();
}

void TestSerialLink::cleanup()
{
    delete m_device;
    m_device = nullptr;
}

void TestSerialLink::closedPortFailsEveryOperation()
{
    SerialLink link(m_device->devicePath());
    QVERIFY(!link.isOpen());
    // Bytes waiting on a closed port is a failure, never 0: a wait ends on it.
    QCOMPARE(link.bytesWaiting(), std::nullopt);
    QCOMPARE(link.readAll(), std::nullopt);
    QVERIFY(!link.send("1"));
    link.close();
    QVERIFY(!link.isOpen());
    QCOMPARE(m_device->requestCount(), 0);
}

void TestSerialLink::missingPortFailsToOpen()
{
    SerialLink link(QStringLiteral("/dev/frekuensi-no-such-port"));
    QVERIFY(!link.open());
    QVERIFY(!link.isOpen());
    QVERIFY(!link.send("1"));
}

void TestSerialLink::openTwiceFails()
{
    SerialLink link(m_device->devicePath());
    QVERIFY(link.open());
    QVERIFY(!link.open());
    QVERIFY(link.isOpen());
}

void TestSerialLink::busyPortFailsToOpen()
{
    SerialLink holder(m_device->devicePath());
    QVERIFY(holder.open());
    SerialLink second(m_device->devicePath());
    QVERIFY(!second.open());
    QCOMPARE(second.bytesWaiting(), std::nullopt);
    holder.close();
    QVERIFY(second.open());
}

void TestSerialLink::staleBytesAreDiscardedOnOpen()
{
    // A reply that came after its poll had closed the port.
    QVERIFY(m_device->write("10000\r\n"));
    SerialLink link(m_device->devicePath());
    QVERIFY(link.open());
    QTest::qWait(50);
    QCOMPARE(link.bytesWaiting(), 0);

    QVERIFY(m_device->write("9990\r\n\r\n"));
    QTRY_COMPARE(link.bytesWaiting(), 8);
    QCOMPARE(link.readAll(), QByteArray("9990\r\n\r\n"));
    QCOMPARE(link.bytesWaiting(), 0);
}

void TestSerialLink::requestLeavesBeforeAnImmediateClose()
{
    SerialLink link(m_device->devicePath());
    QVERIFY(link.open());
    QVERIFY(link.send("1"));
    link.close();
    QTRY_COMPARE(m_device->requestCount(), 1);
}

void TestSerialLink::closeLeavesTheModemLinesUp()
{
    // A line found with hang-up-on-close would drop DTR at every poll's close; one found at 1200
    // baud would be put back there by the restore at close.
    termios settings{};
    QCOMPARE(::tcgetattr(m_device->lineDescriptor(), &settings), 0);
    settings.c_cflag |= HUPCL;
    QCOMPARE(::cfsetspeed(&settings, B1200), 0);
    QCOMPARE(::tcsetattr(m_device->lineDescriptor(), TCSANOW, &settings), 0);

    SerialLink link(m_device->devicePath());
    QVERIFY(link.open());
    link.close();

    QCOMPARE(::tcgetattr(m_device->lineDescriptor(), &settings), 0);
    QCOMPARE(settings.c_cflag & HUPCL, tcflag_t(0));
    QCOMPARE(::cfgetospeed(&settings), speed_t(B9600));
}

void TestSerialLink::portLockedByAnotherProgramIsLeftAlone()
{
    // Another program's QSerialPort lock file, without its tty taken for itself: the line is that
    // program's, hang-up-on-close and all.
    if (!QFileInfo(u"/var/lock"_qs).isWritable())
        QSKIP("the first of QSerialPort's lock folders is not writable");
    QString name = m_device->devicePath().mid(5);
    QLockFile lock(u"/var/lock/LCK.."_qs + name.replace(u'/', u'_'));
    QVERIFY(lock.tryLock(0));
    termios settings{};
    QCOMPARE(::tcgetattr(m_device->lineDescriptor(), &settings), 0);
    settings.c_cflag |= HUPCL;
    QCOMPARE(::tcsetattr(m_device->lineDescriptor(), TCSANOW, &settings), 0);
    SerialLink link(m_device->devicePath());
    QVERIFY(!link.open());
    QCOMPARE(::tcgetattr(m_device->lineDescriptor(), &settings), 0);
    QCOMPARE(settings.c_cflag & HUPCL, tcflag_t(HUPCL));
}

void TestSerialLink::modemLinesFollowTheAdapter_data()
{
    QTest::addColumn<int>("vendor"); // -1: no USB identity
    QTest::addColumn<int>("product");
    QTest::addColumn<bool>("dtr");
    QTest::newRow("Uno R3's 16U2") << 0x2341 << 0x0043 << false;
    QTest::newRow("Leonardo, its own USB") << 0x2341 << 0x8036 << true;
    QTest::newRow("UNO R4 Minima") << 0x2341 << 0x0069 << true;
    QTest::newRow("Espressif's USB-Serial/JTAG") << 0x303a << 0x1001 << true;
    QTest::newRow("Espressif's USB bridge") << 0x303a << 0x1002 << false;
    QTest::newRow("Pico SDK stdio on an RP2350") << 0x2e8a << 0x0009 << true;
    QTest::newRow("CH340 clone") << 0x1a86 << 0x7523 << false;
    QTest::newRow("no USB identity (a PC's UART)") << -1 << -1 << false;
}

void TestSerialLink::modemLinesFollowTheAdapter()
{
    QFETCH(int, vendor);
    QFETCH(int, product);
    QFETCH(bool, dtr);
    const auto number = [](int n) { return n < 0 ? std::nullopt : std::optional(quint16(n)); };
    const AdapterLines lines = AdapterLines::forUsbIdentity(number(vendor), number(product));
    QCOMPARE(lines.dataTerminalReady(), dtr);
    QVERIFY(!lines.requestToSend());
}

void TestSerialLink::chatteringDeviceDoesNotWedgeTheLink()
{
    SerialLink link(m_device->devicePath());
    QVERIFY(link.open());
    // Far more than the device's receive buffer of 1024 bytes, with nobody reading.
    const QByteArray chunk(512, '7');
    for (int i = 0; i < 16; ++i) {
        QVERIFY(m_device->write(chunk));
        QTest::qWait(5);
    }
    QTRY_COMPARE(link.bytesWaiting(), 16 * 512);
    QCOMPARE(link.readAll()->size(), 16 * 512);
    QVERIFY(m_device->write("10000\r\n"));
    QTRY_COMPARE(link.bytesWaiting(), 7);
}

void TestSerialLink::vanishedDeviceClosesTheLink()
{
    SerialLink link(m_device->devicePath());
    QVERIFY(link.open());
    m_device->unplug();
    QTRY_VERIFY(!link.isOpen());
    QCOMPARE(link.bytesWaiting(), std::nullopt);
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
