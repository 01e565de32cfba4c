#pragma once

#include <QString>

// The latest-reading file freq.text: one line, replaced whole on every rewrite.
class ReadingFile
{
public:
    static constexpr QLatin1StringView kFileName{"freq.text"};

    explicit ReadingFile(const QString &directory);

    QString path() const { return m_path; }

    // Replaces the file with the text and CR LF. Readers see the old line or the new one, never a
    // part; when the write fails the old line stays. Returns whether the new line is in place.
    bool rewrite(const QString &text);

private:
    enum class Outcome { Written, CannotCreate, NotReplaced };
    bool rewriteLine(const QByteArray &line) const;
    Outcome writeOnce(const QByteArray &line) const;

    QString m_path;
    bool m_failing = false;
};
