// The latest-reading file: exact bytes, whole replacement, and the old line kept on failure.
#include "permissionsapply.h"
#include "readingfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

class TestReadingFile : public QObject
{
    Q_OBJECT

private slots:
    void rewriteLeavesExactlyOneLine_data();
    void rewriteLeavesExactlyOneLine();
    void failedRewriteKeepsPreviousFile();
    void concurrentReaderNeverSeesPartOfALine();
};

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

void TestReadingFile::rewriteLeavesExactlyOneLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file") << QByteArray() << "50,00" << QByteArray("50,00\r\n");
    QTest::newRow("same line again")
        << QByteArray("50,00\r\n") << "50,00" << QByteArray("50,00\r\n");
    QTest::newRow("longer earlier line leaves no tail")
        << QByteArray("500000,00\r\nold second line\r\n") << "49,99" << QByteArray("49,99\r\n");
    QTest::newRow("shorter earlier line")
        << QByteArray("1\n") << "51,99" << QByteArray("51,99\r\n");
}

void TestReadingFile::rewriteLeavesExactlyOneLine()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, text);
    QFETCH(QByteArray, after);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ReadingFile file(dir.path());
    QCOMPARE(file.path(), dir.filePath(QStringLiteral("freq.text")));
    if (!before.isEmpty()) {
        QFile old(file.path());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(before);
    }

    QVERIFY(file.rewrite(text));
    QCOMPARE(contents(file.path()), after);
    // The temporary file of the replacement is gone.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{QStringLiteral("freq.text")});
}

void TestReadingFile::failedRewriteKeepsPreviousFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ReadingFile good(dir.path());
    QVERIFY(good.rewrite(QStringLiteral("50,00")));

    // A folder that does not exist: nothing can be created there.
    ReadingFile missing(dir.filePath(QStringLiteral("gone")));
    QVERIFY(!missing.rewrite(QStringLiteral("50,01")));

    // A folder in the way of the file: the replacement cannot be renamed over it.
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("blocked/freq.text")));
    ReadingFile blocked(dir.filePath(QStringLiteral("blocked")));
    QVERIFY(!blocked.rewrite(QStringLiteral("50,01")));
    QCOMPARE(QDir(dir.filePath(QStringLiteral("blocked"))).entryList(QDir::Files | QDir::Hidden),
             QStringList());

    QCOMPARE(contents(good.path()), QByteArray("50,00\r\n"));

    // A read-only folder around a writable file: the line is never rewritten in place.
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    {
        const PermissionsApply asOperator;
        QVERIFY(!good.rewrite(QStringLiteral("50,02")));
    }
    QVERIFY(
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(contents(good.path()), QByteArray("50,00\r\n"));
    QVERIFY(good.rewrite(QStringLiteral("50,03")));
    QCOMPARE(contents(good.path()), QByteArray("50,03\r\n"));
}

void TestReadingFile::concurrentReaderNeverSeesPartOfALine()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ReadingFile file(dir.path());
    QVERIFY(file.rewrite(QStringLiteral("50,00")));

    // Another program reads the file while the monitor keeps rewriting it.
    std::atomic<bool> done = false;
    std::atomic<int> reads = 0;
    std::atomic<int> torn = 0;
    QByteArray lastTorn;
    std::thread reader([&] {
        const QString path = file.path();
        while (!done) {
            const QByteArray seen = contents(path);
            ++reads;
            if (seen != "50,00\r\n" && seen != "49,99\r\n" && torn++ == 0)
                lastTorn = seen;
        }
    });
    for (int i = 0; i < 2000; ++i)
        file.rewrite(i % 2 ? QStringLiteral("50,00") : QStringLiteral("49,99"));
    done = true;
    reader.join();

    qInfo("%d reads during 2000 rewrites", reads.load());
    QVERIFY(reads > 0);
    QVERIFY2(torn == 0, qPrintable(QStringLiteral("%1 torn reads, e.g. \"%2\"")
                                       .arg(torn.load())
                                       .arg(QString::fromLatin1(lastTorn.toPercentEncoding()))));
}

QTEST_GUILESS_MAIN(TestReadingFile)
#include "tst_readingfile.moc"
