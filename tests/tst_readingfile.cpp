// The latest-reading file: exact bytes, whole replacement, and the old line kept on failure.
#include "processstart.h"
#include "readingfile.h"
#include "readingwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

#ifdef Q_OS_LINUX
#include "permissionsapply.h"
#include "privatemounts.h"

#include <sys/stat.h>
#include <unistd.h>
#else
// Elsewhere there are no capabilities to drop and no file systems to mount: the cases that need
// them are Linux's own.
struct PermissionsApply
{
    PermissionsApply() {}
};
namespace PrivateMounts {
constexpr bool kAvailable = false;
inline bool mountSmallFileSystem(const QString &)
{
    return false;
}
inline bool fill(const QString &)
{
    return false;
}
inline bool unmount(const QString &)
{
    return false;
}
} // namespace PrivateMounts
#endif
#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

class TestReadingFile : public QObject
{
    Q_OBJECT

private slots:
    void rewriteLeavesExactlyOneLine_data();
    void rewriteLeavesExactlyOneLine();
    void faultKeepsLastLineAndNothingElse_data();
    void faultKeepsLastLineAndNothingElse();
    void concurrentReaderNeverSeesPartOfALine();
    void readerHoldingTheFile_data();
    void readerHoldingTheFile();
    void writerKeepsTheNewestLine();
    void writerRemovesOnlyItsLeftovers();
    void writerFollowsThePackagesLink();
};

namespace {

enum class Fault {
    FolderGone,
    FolderAtName,
    ReadOnlyFolder,
    FullFileSystem,
    ReadOnlyFile,
    LinkOutside,
    DanglingLink,
    OthersLinkStickyFolder,
};

#ifdef Q_OS_LINUX
constexpr uid_t kOtherUser = 4242;
#endif

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
    // Permission bits before and after, under the operator's umask 077 (Linux).
    QTest::addColumn<int>("modeBefore");
    QTest::addColumn<int>("modeAfter");
    QTest::addColumn<bool>("otherUsers"); // the earlier file is another user's

    QTest::newRow("new file, readable by all")
        << QByteArray() << "50,00" << QByteArray("50,00\r\n") << 0 << 0644 << false;
    QTest::newRow("same line again")
        << QByteArray("50,00\r\n") << "50,00" << QByteArray("50,00\r\n") << 0644 << 0644 << false;
    QTest::newRow("longer earlier line leaves no tail, group only")
        << QByteArray("500000,00\r\nold second line\r\n") << "49,99" << QByteArray("49,99\r\n")
        << 0640 << 0640 << false;
    QTest::newRow("shorter earlier line, others only")
        << QByteArray("1\n") << "51,99" << QByteArray("51,99\r\n") << 0604 << 0604 << false;
    // In a folder every operator may write, the last shift's file sets no bits of the next one's.
    QTest::newRow("another user's file open to all writers: readable by all")
        << QByteArray("50,00\r\n") << "50,01" << QByteArray("50,01\r\n") << 0666 << 0644 << true;
    QTest::newRow("another user's file shut to readers: readable by all")
        << QByteArray("50,00\r\n") << "50,01" << QByteArray("50,01\r\n") << 0600 << 0644 << true;
}

void TestReadingFile::rewriteLeavesExactlyOneLine()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, text);
    QFETCH(QByteArray, after);
    QFETCH(int, modeBefore);
    QFETCH(int, modeAfter);
    QFETCH(bool, otherUsers);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ReadingFile file(dir.path());
    QCOMPARE(file.path(), dir.filePath(QStringLiteral("freq.text")));
    if (!before.isEmpty()) {
        QFile old(file.path());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(before);
    }
#ifdef Q_OS_LINUX
    if (modeBefore)
        QVERIFY(::chmod(QFile::encodeName(file.path()).constData(), mode_t(modeBefore)) == 0);
    if (otherUsers &&
        ::chown(QFile::encodeName(file.path()).constData(), kOtherUser, kOtherUser) != 0)
        QSKIP("no other user's file without root");
    const mode_t umask = ::umask(077);
    const auto restoreUmask = qScopeGuard([umask] { ::umask(umask); });
#endif

    QVERIFY(file.rewrite(text));
    QCOMPARE(contents(file.path()), after);
#ifdef Q_OS_LINUX
    struct stat status;
    QVERIFY(::stat(QFile::encodeName(file.path()).constData(), &status) == 0);
    QCOMPARE(int(status.st_mode & 0777), modeAfter);
#else
    Q_UNUSED(modeBefore);
    Q_UNUSED(modeAfter);
    Q_UNUSED(otherUsers);
#endif
    // The temporary file of the replacement is gone.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{QStringLiteral("freq.text")});
}

void TestReadingFile::faultKeepsLastLineAndNothingElse_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QByteArray>("held"); // by freq.text while the fault lasts
    QTest::addColumn<QString>("why");     // the problem line's reason, where it is known

    const QByteArray old("50,00\r\n");
    const QByteArray replaced("50,01\r\n");
    QTest::newRow("folder gone") << Fault::FolderGone << QByteArray("(none)") << QString();
    QTest::newRow("folder standing at the name")
        << Fault::FolderAtName << QByteArray("(folder)") << u"a folder stands at its name"_qs;
#ifdef Q_OS_WIN
    QTest::newRow("read-only freq.text")
        << Fault::ReadOnlyFile << old << u"it is marked read-only"_qs;
#else
    // A read-only file is replaced all the same where the folder may be written.
    QTest::newRow("read-only freq.text") << Fault::ReadOnlyFile << replaced << QString();
#endif
#ifdef Q_OS_LINUX
    QTest::newRow("read-only folder")
        << Fault::ReadOnlyFolder << old << u"its folder may not be written"_qs;
    QTest::newRow("full file system") << Fault::FullFileSystem << old << u"the disk is full"_qs;
    QTest::newRow("link to a file outside") << Fault::LinkOutside << replaced << QString();
    QTest::newRow("link to nothing outside") << Fault::DanglingLink << replaced << QString();
    QTest::newRow("another user's link, sticky folder")
        << Fault::OthersLinkStickyFolder << QByteArray("(link)")
        << u"it belongs to another user"_qs;
#endif
}

// Whatever stands at the name or happens to the folder, the monitor writes nowhere else, freq.text
// holds a whole line or nothing new, no temporary file is left, and the file follows the reading
// again once the fault is gone.
void TestReadingFile::faultKeepsLastLineAndNothingElse()
{
    QFETCH(Fault, fault);
    QFETCH(QByteArray, held);
    QFETCH(QString, why);

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
    case Fault::ReadOnlyFile:
        QVERIFY(QFile::setPermissions(file.path(), QFile::ReadOwner));
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
#ifdef Q_OS_LINUX
        if (::lchown(path.constData(), kOtherUser, kOtherUser) != 0 ||
            ::chown(QFile::encodeName(folder).constData(), kOtherUser, kOtherUser) != 0)
            QSKIP("planting another user's link needs root");
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 01777) == 0);
#endif
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
    if (!why.isEmpty())
        QCOMPARE(file.problem(), u"freq.text is not being updated: "_qs + why);

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
    case Fault::ReadOnlyFile:
        QVERIFY(QFile::setPermissions(file.path(), QFile::ReadOwner | QFile::WriteOwner));
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

    // Another program reads the file while the monitor keeps rewriting it. On Windows the reader
    // holding the file makes some rewrites wait or fail (the old line stays), and the reader may
    // be refused for the instant of a replacement; it never reads an empty or partial file.
    std::atomic<bool> done = false;
    std::atomic<int> reads = 0;
    std::atomic<int> refused = 0;
    std::atomic<int> torn = 0;
    QByteArray lastTorn;
    std::thread reader([&] {
        const QString path = file.path();
        while (!done) {
            QFile shared(path);
            if (!shared.open(QIODevice::ReadOnly)) {
                ++refused;
                continue;
            }
            const QByteArray seen = shared.readAll();
            ++reads;
            if (seen != "50,00\r\n" && seen != "49,99\r\n" && torn++ == 0)
                lastTorn = seen;
        }
    });
    int written = 0;
    for (int i = 0; i < 2000; ++i)
        written += file.rewrite(i % 2 ? QStringLiteral("50,00") : QStringLiteral("49,99"));
    done = true;
    reader.join();

    qInfo("%d reads and %d refused opens during 2000 rewrites, %d of them written", reads.load(),
          refused.load(), written);
    QVERIFY(reads > 0 && written > 0);
#ifndef Q_OS_WIN
    QCOMPARE(refused.load(), 0); // a rename over the name never leaves it missing
    QCOMPARE(written, 2000);
#endif
    QVERIFY2(torn == 0, qPrintable(QStringLiteral("%1 torn reads, e.g. \"%2\"")
                                       .arg(torn.load())
                                       .arg(QString::fromLatin1(lastTorn.toPercentEncoding()))));
}

void TestReadingFile::readerHoldingTheFile_data()
{
    QTest::addColumn<int>("heldMs");
    QTest::addColumn<bool>("written");
    // The rewrite tries three times, 10 ms apart.
    QTest::newRow("reader lets go after 5 ms, within the retries") << 5 << true;
    QTest::newRow("reader holds it 300 ms, past the retries") << 300 << false;
}

// Windows refuses to rename over a file that another program has open without sharing it for
// deletion, as most readers open it.
void TestReadingFile::readerHoldingTheFile()
{
#ifndef Q_OS_WIN
    QSKIP("only Windows refuses to replace a file that another program holds open");
#else
    QFETCH(int, heldMs);
    QFETCH(bool, written);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ReadingFile file(dir.path());
    QVERIFY(file.rewrite(QStringLiteral("50,00")));
    const QString native = QDir::toNativeSeparators(file.path());
    HANDLE reader = CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    QVERIFY(reader != INVALID_HANDLE_VALUE);
    // The reader's hold starts when its thread runs, not when the thread is asked for. A Windows
    // event, not std::latch: MinGW's GCC 12 libstdc++ can miss the latch's wake-up and hang.
    const HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    QVERIFY(holding);
    std::thread letGo([&] {
        SetEvent(holding);
        Sleep(DWORD(heldMs));
        CloseHandle(reader);
    });
    WaitForSingleObject(holding, INFINITE);
    CloseHandle(holding);
    if (!written)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"freq.text cannot be replaced"_qs));
    const bool rewritten = file.rewrite(QStringLiteral("50,01"));
    letGo.join();
    QCOMPARE(rewritten, written);
    QCOMPARE(contents(file.path()), written ? QByteArray("50,01\r\n") : QByteArray("50,00\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{QStringLiteral("freq.text")});
#endif
}

// The writer's thread writes only the newest line it was given: a reader never sees freq.text go
// back to an older line, and the line on a failure comes back from the thread and goes again.
void TestReadingFile::writerKeepsTheNewestLine()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ReadingWriter writer(dir.path());
    const auto caughtUp = [&writer] { return !writer.isBehind(); };

    std::atomic<bool> done = false;
    std::atomic<int> backwards = 0;
    std::thread reader([&] {
        int last = 0;
        while (!done) {
            const int line = contents(writer.path()).trimmed().toInt(); // 0: none or refused
            if (line == 0 || line == last)
                continue;
            backwards += line < last ? 1 : 0;
            last = line;
        }
    });
    constexpr int kLines = 2000;
    // Handed over faster than they can be written, but not all at once, so the reader sees many.
    for (int line = 1; line < kLines; ++line) {
        writer.submit(QString::number(line));
        QThread::usleep(100);
    }
    const bool settled = QTest::qWaitFor(caughtUp, 10000);
    done = true;
    reader.join();
    QVERIFY(settled);
    QCOMPARE(backwards.load(), 0);
    // The reader gone (on Windows it can refuse a replacement), the last line of a burst wins.
    writer.submit(QString::number(kLines - 1));
    writer.submit(QString::number(kLines));
    QVERIFY(QTest::qWaitFor(caughtUp, 10000));
    QCOMPARE(contents(writer.path()), QByteArray::number(kLines) + "\r\n");

    QSignalSpy problems(&writer, &ReadingWriter::problemChanged);
    QVERIFY(QFile::remove(writer.path()) && QDir().mkdir(writer.path()));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"freq.text cannot be replaced"_qs));
    writer.submit(QStringLiteral("50,00"));
    QTRY_COMPARE(writer.problem(),
                 u"freq.text is not being updated: a folder stands at its name"_qs);
    QVERIFY(QDir().rmdir(writer.path()));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(u"freq.text is being replaced again"_qs));
    writer.submit(QStringLiteral("50,01"));
    QTRY_COMPARE(writer.problem(), QString());
    QCOMPARE(contents(writer.path()), QByteArray("50,01\r\n"));
    QCOMPARE(problems.count(), 2);
}

// At start the writer removes what a rewrite cut short by a crash left beside freq.text, and
// nothing that is not certainly that: all stand in one folder, each named for what it is. A
// leftover names its writer's process: one whose writer still runs (an earlier monitor finishing
// its last write) is kept until a start after that writer has gone.
void TestReadingFile::writerRemovesOnlyItsLeftovers()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString outside = dir.filePath(QStringLiteral("outside"));
    const auto plant = [&dir](const QString &name, const QByteArray &bytes) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    // Processes of another program: one that has ended, one that waits until it is killed.
#ifdef Q_OS_WIN
    const QString shell = u"cmd.exe"_qs;
    const QStringList ends{u"/c"_qs, u"exit"_qs}, waits{u"/c"_qs, u"pause"_qs};
#else
    const QString shell = u"sh"_qs;
    const QStringList ends{u"-c"_qs, u"exit"_qs}, waits{u"-c"_qs, u"read line"_qs};
#endif
    QProcess gone;
    START_OR_SKIP_UNDER_EMULATION(gone, shell, ends);
    const QString goneId = QString::number(gone.processId());
    QVERIFY(gone.waitForFinished());
    QProcess running;
    START_OR_SKIP_UNDER_EMULATION(running, shell, waits);
    const QString inUse = u".freq.text.%1-abc"_qs.arg(running.processId());
    const QByteArray line("49,98\r\n");
    QVERIFY(plant(u".freq.text.%1-1a2b3c"_qs.arg(goneId), line) &&
            plant(u".freq.text.%1-z"_qs.arg(goneId), {})); // its own
    QStringList kept{u".freq.text.ABC"_qs,
                     u".freq.text.12345678"_qs,
                     u".freq.text.abc.bak"_qs,
                     u"freq.text.abc"_qs,
                     u".freq.text.tmp"_qs,
                     u".freq.text.1a2b3c"_qs,
                     inUse};
    for (const QString &name : kept)
        QVERIFY(plant(name, line));
    QVERIFY(plant(u".freq.text.%1-big"_qs.arg(goneId), QByteArray(100, '5')) &&
            plant(u"outside"_qs, line));
    QVERIFY(QDir(dir.path()).mkdir(u".freq.text.%1-dir"_qs.arg(goneId)));
    kept << u".freq.text.%1-big"_qs.arg(goneId) << u".freq.text.%1-dir"_qs.arg(goneId)
         << u"outside"_qs << u"freq.text"_qs;
#ifdef Q_OS_LINUX
    const QString link = u".freq.text.%1-lnk"_qs.arg(goneId);
    const QString other = u".freq.text.%1-oth"_qs.arg(goneId);
    QVERIFY(QFile::link(outside, dir.filePath(link)));
    QVERIFY(plant(other, line));
    if (::chown(QFile::encodeName(dir.filePath(other)).constData(), kOtherUser, kOtherUser) == 0)
        kept << other;
    else
        QVERIFY(QFile::remove(dir.filePath(other))); // not root: no other user
    kept << link;
#endif
    const auto entries = [&dir] {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name);
    };

    ReadingWriter writer(dir.path());
    writer.submit(QStringLiteral("50,00"));
    QVERIFY(QTest::qWaitFor([&writer] { return !writer.isBehind(); }, 10000));
    QCOMPARE(contents(writer.path()), QByteArray("50,00\r\n"));
    kept.sort();
    QCOMPARE(entries(), kept);
    QCOMPARE(contents(outside), line);

    // Its writer gone, the next start removes it.
    running.kill();
    QVERIFY(running.waitForFinished());
    QCOMPARE(ReadingFile(dir.path()).removeLeftovers(), 1);
    kept.removeOne(inUse);
    QCOMPARE(entries(), kept);
}

// A monitor running while an upgrade puts the package's link beside it writes where the link leads
// from its next line on; a link in a folder that others may write leads nowhere.
void TestReadingFile::writerFollowsThePackagesLink()
{
#ifndef Q_OS_LINUX
    QSKIP("freq.text always stays beside the program here");
#else
    if (::geteuid() != 0)
        QSKIP("the package's link is root's");
    QTemporaryDir program, data;
    const QString beside = program.filePath(u"freq.text"_qs),
                  linked = data.filePath(u"freq.text"_qs);
    ReadingWriter writer(program.path());
    writer.followProgramFolder(program.path());
    writer.submit(u"50,00"_qs);
    QTRY_COMPARE(contents(beside), QByteArray("50,00\r\n"));
    QVERIFY(QFile::rename(beside, linked) && QFile::link(linked, beside));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(u"written at .* from now on"_qs));
    writer.submit(u"49,95"_qs);
    QTRY_COMPARE(contents(linked), QByteArray("49,95\r\n"));
    QTRY_COMPARE(writer.path(), linked);
    QVERIFY(::chmod(QFile::encodeName(program.path()).constData(), 0777) == 0);
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(u"written at .* from now on"_qs));
    writer.submit(u"50,01"_qs);
    QTRY_COMPARE(contents(beside), QByteArray("50,01\r\n"));
    QVERIFY(!QFileInfo(beside).isSymLink());
    QCOMPARE(contents(linked), QByteArray("49,95\r\n"));
#endif
}

QTEST_GUILESS_MAIN(TestReadingFile)
#include "tst_readingfile.moc"
