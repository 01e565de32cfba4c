// The latest-reading file: exact bytes, whole replacement, and the old line kept on failure.
#include "permissionsapply.h"
#include "privatemounts.h"
#include "readingfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

class TestReadingFile : public QObject
{
    Q_OBJECT

private slots:
    void rewriteLeavesExactlyOneLine_data();
    void rewriteLeavesExactlyOneLine();
    void faultKeepsLastLineAndNothingElse_data();
    void faultKeepsLastLineAndNothingElse();
    void concurrentReaderNeverSeesPartOfALine();
};

namespace {

enum class Fault {
    FolderGone,
    FolderAtName,
    ReadOnlyFolder,
    FullFileSystem,
    LinkOutside,
    DanglingLink,
    OthersLinkStickyFolder,
};

constexpr uid_t kOtherUser = 4242;

} // namespace

Q_DECLARE_METATYPE(Fault)

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

void TestReadingFile::faultKeepsLastLineAndNothingElse_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QByteArray>("held"); // by freq.text while the fault lasts

    const QByteArray old("50,00\r\n");
    QTest::newRow("folder gone") << Fault::FolderGone << QByteArray("(none)");
    QTest::newRow("folder standing at the name") << Fault::FolderAtName << QByteArray("(folder)");
    QTest::newRow("read-only folder") << Fault::ReadOnlyFolder << old;
    QTest::newRow("full file system") << Fault::FullFileSystem << old;
    QTest::newRow("link to a file outside") << Fault::LinkOutside << QByteArray("50,01\r\n");
    QTest::newRow("link to nothing outside") << Fault::DanglingLink << QByteArray("50,01\r\n");
    QTest::newRow("another user's link, sticky folder")
        << Fault::OthersLinkStickyFolder << QByteArray("(link)");
}

// Whatever stands at the name or happens to the folder, the monitor writes nowhere else, freq.text
// holds a whole line or nothing new, no temporary file is left, and the file follows the reading
// again once the fault is gone.
void TestReadingFile::faultKeepsLastLineAndNothingElse()
{
    QFETCH(Fault, fault);
    QFETCH(QByteArray, held);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("bin"));
    const QString outside = dir.filePath(QStringLiteral("outside"));
    const QString secret = QDir(outside).filePath(QStringLiteral("secret"));
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(outside));
    QFile secretFile(secret);
    QVERIFY(secretFile.open(QIODevice::WriteOnly) && secretFile.write("secret\n") == 7);
    secretFile.close();

    if (fault == Fault::FullFileSystem && !PrivateMounts::kAvailable)
        QSKIP("mounting a small file system needs root in a mount namespace of its own");
    if (fault == Fault::FullFileSystem)
        QVERIFY(PrivateMounts::mountSmallFileSystem(folder));
    const auto unmount = qScopeGuard([&] {
        if (fault == Fault::FullFileSystem)
            PrivateMounts::unmount(folder);
    });
    ReadingFile file(folder);
    QVERIFY(file.rewrite(QStringLiteral("50,00")));

    const QByteArray path = QFile::encodeName(file.path());
    const QString filler = dir.filePath(QStringLiteral("bin/filler"));
    switch (fault) {
    case Fault::FolderGone:
        QVERIFY(QDir(folder).removeRecursively());
        break;
    case Fault::FolderAtName:
        QVERIFY(QFile::remove(file.path()) && QDir().mkdir(file.path()));
        break;
    case Fault::ReadOnlyFolder:
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        break;
    case Fault::FullFileSystem:
        QVERIFY(PrivateMounts::fill(filler));
        break;
    case Fault::LinkOutside:
    case Fault::DanglingLink:
        QVERIFY(QFile::remove(file.path()));
        QVERIFY(QFile::link(fault == Fault::LinkOutside ? secret : secret + u"-absent"_qs,
                            file.path()));
        break;
    case Fault::OthersLinkStickyFolder:
        // Planted by another operator in a folder that is not ours either: sticky, the link
        // cannot be replaced, and it is not followed.
        QVERIFY(QFile::remove(file.path()) && QFile::link(secret, file.path()));
        if (::lchown(path.constData(), kOtherUser, kOtherUser) != 0 ||
            ::chown(QFile::encodeName(folder).constData(), kOtherUser, kOtherUser) != 0)
            QSKIP("planting another user's link needs root");
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 01777) == 0);
        break;
    }

    const bool written = held == "50,01\r\n";
    if (!written) {
        // Said once, not on every poll for as long as the fault lasts.
        const QRegularExpression said(u"freq.text cannot be replaced"_qs);
        QTest::ignoreMessage(QtWarningMsg, said);
        QTest::failOnWarning(said);
    }
    {
        const PermissionsApply asOperator;
        QCOMPARE(file.rewrite(QStringLiteral("50,01")), written);
        QCOMPARE(file.rewrite(QStringLiteral("50,01")), written);
    }

    const QFileInfo atName(file.path());
    const QByteArray seen = atName.isSymLink()                ? QByteArray("(link)")
                            : atName.isDir()                  ? QByteArray("(folder)")
                            : !QFileInfo::exists(file.path()) ? QByteArray("(none)")
                                                              : contents(file.path());
    QCOMPARE(seen, held);
    QCOMPARE(contents(secret), QByteArray("secret\n"));
    QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("secret")});
    QStringList expected{QStringLiteral("freq.text")};
    if (fault == Fault::FullFileSystem)
        expected.append(QStringLiteral("filler"));
    if (fault != Fault::FolderGone)
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                        QDir::Name | QDir::Reversed),
                 expected);

    // The fault goes away: the next rewrite puts the line in place.
    switch (fault) {
    case Fault::FolderGone:
        QVERIFY(QDir().mkpath(folder));
        break;
    case Fault::FolderAtName:
        QVERIFY(QDir().rmdir(file.path()));
        break;
    case Fault::ReadOnlyFolder:
        QVERIFY(
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        break;
    case Fault::FullFileSystem:
        QVERIFY(QFile::remove(filler));
        break;
    case Fault::LinkOutside:
    case Fault::DanglingLink:
        break;
    case Fault::OthersLinkStickyFolder:
        QVERIFY(QFile::remove(file.path()));
        break;
    }
    if (!written)
        QTest::ignoreMessage(QtInfoMsg,
                             QRegularExpression(u"freq.text is being replaced again"_qs));
    QVERIFY(file.rewrite(QStringLiteral("50,02")));
    QCOMPARE(contents(file.path()), QByteArray("50,02\r\n"));
    QVERIFY(!QFileInfo(file.path()).isSymLink());
    QCOMPARE(contents(secret), QByteArray("secret\n"));
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
