// Reply to reading text, and the acceptance of a displayed reading, in two kinds of locale.
#include "readingtext.h"

#include <QTest>

class TestReadingText : public QObject
{
    Q_OBJECT

private slots:
    void fromReply_data();
    void fromReply();
    void isAcceptable_data();
    void isAcceptable();
};

namespace {

const QLocale kIndonesian(QLocale::Indonesian, QLocale::Indonesia);

// Marks a reply that gives no reading.
const QString kNoReading = QStringLiteral("<none>");

} // namespace

void TestReadingText::fromReply_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("reading");

    const QLocale c = QLocale::c();
    // Frequency = 1,000,000 / (2r).
    QTest::newRow("id 10000 -> 50") << kIndonesian << QByteArray("10000\r\n") << "50,00";
    QTest::newRow("id 9990 -> 50.05005") << kIndonesian << QByteArray("9990\r\n") << "50,05";
    QTest::newRow("id 10400 -> 48.0769") << kIndonesian << QByteArray("10400\r\n") << "48,08";
    QTest::newRow("id 10416 -> 48.0031") << kIndonesian << QByteArray("10416\r\n") << "48,00";
    QTest::newRow("id 9616 -> 51.9967") << kIndonesian << QByteArray("9616\r\n") << "52,00";
    QTest::newRow("id 8000 -> 62.5") << kIndonesian << QByteArray("0008000") << "62,50";
    QTest::newRow("id decimal comma 10000,0") << kIndonesian << QByteArray("10000,0") << "50,00";
    QTest::newRow("id spaces around") << kIndonesian << QByteArray("  10000  ") << "50,00";
    QTest::newRow("id negative -10000 -> -50")
        << kIndonesian << QByteArray("-10000\r\n") << "-50,00";
    QTest::newRow("id exponent 1e4 -> 50") << kIndonesian << QByteArray("1e4\r\n\r\n") << "50,00";
    // 1,000,000 / 2 = 500,000: no grouping in the reading text.
    QTest::newRow("id r 1 -> 500000, no grouping")
        << kIndonesian << QByteArray("1\r\n\r\n\r\n") << "500000,00";
    // 1,000,000 / 2560 = 390.625 exactly: halves round away from zero.
    QTest::newRow("id tie 1280 -> 390.625")
        << kIndonesian << QByteArray("1280\r\n\r\n") << "390,63";
    QTest::newRow("id tie -1280 -> -390.625")
        << kIndonesian << QByteArray("-1280\r\n\r\n") << "-390,63";
    // r so large that f is far below a hundredth.
    QTest::newRow("id 1e300 -> 0.00") << kIndonesian << QByteArray("1e300\r\n") << "0,00";

    QTest::newRow("id zero") << kIndonesian << QByteArray("0000000") << kNoReading;
    QTest::newRow("id minus zero") << kIndonesian << QByteArray("-0,0000") << kNoReading;
    // '.' groups thousands in this locale: "10.000" is ten thousand only if grouping is accepted.
    QTest::newRow("id grouping 10.000") << kIndonesian << QByteArray("10.000\r\n") << kNoReading;
    QTest::newRow("id grouping 50.000") << kIndonesian << QByteArray("50.000\r\n") << kNoReading;
    QTest::newRow("id decimal point") << kIndonesian << QByteArray("10000.0") << kNoReading;
    QTest::newRow("id letters") << kIndonesian << QByteArray("abcdefg") << kNoReading;
    QTest::newRow("id two readings")
        << kIndonesian << QByteArray("10000\r\n10000\r\n") << kNoReading;
    QTest::newRow("id empty") << kIndonesian << QByteArray() << kNoReading;
    QTest::newRow("id NUL inside") << kIndonesian
                                   << QByteArray("100\0"
                                                 "00\r\n",
                                                 8)
                                   << kNoReading;
    QTest::newRow("id nan") << kIndonesian << QByteArray("nan\r\n\r\n") << kNoReading;
    QTest::newRow("id inf") << kIndonesian << QByteArray("inf\r\n\r\n") << kNoReading;
    QTest::newRow("id r overflows") << kIndonesian << QByteArray("1e400\r\n") << kNoReading;
    // 1,000,000 / 2e-320 overflows to infinity.
    QTest::newRow("id f overflows") << kIndonesian << QByteArray("1e-320\r\n") << kNoReading;

    QTest::newRow("C 10000.0 -> 50") << c << QByteArray("10000.0") << "50.00";
    QTest::newRow("C 9990 -> 50.05005") << c << QByteArray("9990\r\n") << "50.05";
    QTest::newRow("C r 1 -> 500000, no grouping")
        << c << QByteArray("1\r\n\r\n\r\n") << "500000.00";
    QTest::newRow("C grouping 10,000") << c << QByteArray("10,000\r\n") << kNoReading;
    QTest::newRow("C decimal comma") << c << QByteArray("10000,0") << kNoReading;
}

void TestReadingText::fromReply()
{
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, reply);
    QFETCH(QString, reading);

    QCOMPARE(ReadingText::fromReply(reply, locale).value_or(kNoReading), reading);
}

void TestReadingText::isAcceptable_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("displayed");
    QTest::addColumn<bool>("acceptable");

    const QLocale c = QLocale::c();
    QTest::newRow("id 50,00") << kIndonesian << "50,00" << true;
    QTest::newRow("id 48,01 just inside") << kIndonesian << "48,01" << true;
    QTest::newRow("id 51,99 just inside") << kIndonesian << "51,99" << true;
    QTest::newRow("id 48,00 bound excluded") << kIndonesian << "48,00" << false;
    QTest::newRow("id 52,00 bound excluded") << kIndonesian << "52,00" << false;
    QTest::newRow("id 62,50") << kIndonesian << "62,50" << false;
    QTest::newRow("id -50,00") << kIndonesian << "-50,00" << false;
    QTest::newRow("id placeholder") << kIndonesian << "00,00" << false;
    QTest::newRow("id typed 49,5") << kIndonesian << "49,5" << true;
    QTest::newRow("id typed spaces") << kIndonesian << " 50,00 " << false;
    QTest::newRow("id typed exponent") << kIndonesian << "5e1" << false;
    QTest::newRow("id typed plus sign") << kIndonesian << "+50,00" << false;
    QTest::newRow("id typed two separators") << kIndonesian << "50,0,0" << false;
    QTest::newRow("id typed Arabic-Indic digits")
        << kIndonesian << u"\u0665\u0660,\u0660\u0660"_qs << false;
    QTest::newRow("id empty") << kIndonesian << "" << false;
    QTest::newRow("id letters") << kIndonesian << "lima puluh" << false;
    QTest::newRow("id grouped 50.000") << kIndonesian << "50.000" << false;
    QTest::newRow("C 50.00") << c << "50.00" << true;
    QTest::newRow("C 50,00 is not a number") << c << "50,00" << false;
    QTest::newRow("C placeholder") << c << "00,00" << false;
}

void TestReadingText::isAcceptable()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, displayed);
    QFETCH(bool, acceptable);

    QCOMPARE(ReadingText::isAcceptable(displayed, locale), acceptable);
}

QTEST_GUILESS_MAIN(TestReadingText)
#include "tst_readingtext.moc"
