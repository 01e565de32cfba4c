#pragma once

#include <QCoreApplication>
#include <QString>

// The latest-reading file freq.text: one line, replaced whole on every rewrite.
class ReadingFile
{
    Q_DECLARE_TR_FUNCTIONS(ReadingFile)

public:
    static constexpr QLatin1StringView kFileName{"freq.text"};

    explicit ReadingFile(const QString &directory);

    QString path() const { return m_path; }

    // Replaces whatever stands at the name with a regular file holding the text and CR LF. Readers
    // see the old line or the new one, never a part; a link there is replaced, never followed; when
    // the write fails (full disk, refusing folder) the old line stays and nothing is left beside
    // it. Returns whether the new line is in place.
    bool rewrite(const QString &text);
    // While rewriting fails: one short line, in the user's language, saying that freq.text is not
    // being updated and why; empty while it is.
    QString problem() const;

private:
    enum class Outcome { Written, Failed, HeldOpen };
    // Where a rewrite failed, for the known causes an operator can act on.
    enum class Step { Create, Write, Replace };
    bool rewriteLine(const QByteArray &line);
    Outcome writeOnce(const QByteArray &line);
    Outcome fail(Step step, const QString &reason);

    QString m_path;
    QString m_reason;
    Step m_step = Step::Create;
    bool m_heldOpen = false;
    bool m_failing = false;
};
