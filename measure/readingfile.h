#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

// The latest-reading file freq.text: one line, replaced whole on every rewrite. Every call may wait
// on the disk, so the monitor makes them on a thread of their own (ReadingWriter).
class ReadingFile
{
    Q_DECLARE_TR_FUNCTIONS(ReadingFile)

public:
    static constexpr QLatin1StringView kFileName{"freq.text"};

    explicit ReadingFile(const QString &directory);

    // The folder freq.text is kept in for a program in programFolder: that folder itself, or, where
    // freq.text there is a link that root made in a folder nobody else may change (the package's
    // program folder), the folder the link points into.
    static QString folderFor(const QString &programFolder);

    QString path() const { return m_path; }

    // Replaces whatever stands at the name with a regular file holding the text and CR LF. Readers
    // see the old line or the new one, never a part; a link there is replaced, never followed; when
    // the write fails (full disk, refusing folder) the old line stays and nothing is left beside
    // it. Returns whether the new line is in place.
    bool rewrite(const QString &text);
    // While rewriting fails: one short line, in the user's language, saying that freq.text is not
    // being updated and why; while the line is written but its folder did not reach the disk, that;
    // empty while all is well.
    QString problem() const;
    // Removes the files a rewrite makes beside freq.text and could not rename before a crash or a
    // power cut: regular files of this user with the rewrite's own name pattern, whose name carries
    // the process id of a writer that no longer runs (an earlier monitor may still be finishing
    // its last write). Nothing else: not a reader's own temporary file. Returns how many it
    // removed.
    int removeLeftovers() const;

private:
    // A name taken by a leftover or a planted file is passed over for another random one.
    static constexpr int kTemporaryNameTries = 4;

    enum class Outcome { Written, Failed, HeldOpen };
    // The system's words for a failure, sorted into the causes an operator can act on.
    enum class Known { Other, DiskFull, Refused, NotPermitted };
    // Where a rewrite failed, for the known causes an operator can act on.
    enum class Step { Create, Write, Replace };
    // What stands at the name when the replacement is refused, where that is the cause.
    enum class Obstacle { None, Folder, ReadOnly };
    Outcome writeOnce(const QByteArray &line);
    Outcome replace(const QString &from);
    // Without a journal: the rename that keeps the old line under a second name until the folder
    // is on the disk (keep: the old line is this user's, so that name could be removed later).
    Outcome renameKeepingTheOldLine(const QString &from, bool keep);
    // Removes a second name; one that cannot be removed now is tried again later.
    void dropName(const QByteArray &name);
    Outcome fail(Step step, const QString &reason, Obstacle obstacle = Obstacle::None);
    QString temporaryPath() const;
    Known knownReason() const;
    // A regular file of this user, not a link: what a leftover must be before it is removed.
    static bool isOwnFile(const QString &path);
    // Whether a process of that id runs now, of whatever program.
    static bool processRuns(qint64 id);

    QString m_path;
    QString m_reason;
    Step m_step = Step::Create;
    Obstacle m_obstacle = Obstacle::None;
    bool m_heldOpen = false;
    bool m_failing = false;
    // Second names of old lines that wait for their folder to reach the disk, and why it did not.
    QList<QByteArray> m_keptNames;
    QString m_unsafeReason;
};
