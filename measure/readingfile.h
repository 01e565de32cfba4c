#pragma once

#include <QString>

// The latest-reading file freq.text: one line, replaced whole on every rewrite.
class ReadingFile
{
public:
    static constexpr QLatin1StringView kFileName{"freq.text"};

    explicit ReadingFile(const QString &directory);

    QString path() const { return m_path; }

    // Replaces whatever stands at the name with a regular file holding the text and CR LF. Readers
    // see the old line or the new one, never a part; a link there is replaced, never followed; when
    // the write fails (full disk, refusing folder) the old line stays and nothing is left beside
    // it. Returns whether the new line is in place.
    bool rewrite(const QString &text);

private:
    enum class Outcome { Written, Failed, HeldOpen };
    bool rewriteLine(const QByteArray &line);
    Outcome writeOnce(const QByteArray &line);
    Outcome fail(const QString &reason);

    QString m_path;
    QString m_reason;
    bool m_failing = false;
};
