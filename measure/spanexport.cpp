#include "spanexport.h"

namespace {

// The locale's decimal separator without its group separators: a spreadsheet takes "50000,00"
// as a number, but "50.000,00" in some locales only.
QLocale plain(const QLocale &locale)
{
    QLocale numbers = locale;
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    return numbers;
}

QString hertz(const QLocale &numbers, double centihertz, int decimals = 2)
{
    return numbers.toString(centihertz / 100, 'f', decimals);
}

} // namespace

QChar SpanExport::separator(const QLocale &locale)
{
    return locale.decimalPoint() == u"," ? u';' : u',';
}

QString SpanExport::field(const QString &text, QChar separator)
{
    if (!text.contains(separator) && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(u'"', u"\"\""_qs) + u'"';
}

QString SpanExport::dateTime(const QDateTime &time, const QLocale &locale, bool milliseconds)
{
    // ISO 8601 writes a fraction of a second with a comma or a point: the locale's, as a
    // spreadsheet of that locale reads it.
    const QString text = QLocale::c().toString(time, u"yyyy-MM-dd HH:mm:ss"_qs);
    return milliseconds ? text + locale.decimalPoint() + QLocale::c().toString(time, u"zzz"_qs)
                        : text;
}

QStringList SpanExport::rows(const History &history, qint64 fromMs, qint64 toMs,
                             const QLocale &locale)
{
    const QChar sep = separator(locale);
    const QLocale numbers = plain(locale);
    const auto line = [sep](const QStringList &fields) {
        QStringList quoted;
        for (const QString &one : fields)
            quoted << field(one, sep);
        return quoted.join(sep);
    };
    QStringList lines;
    const History::Grain grain = history.grain(fromMs, toMs);
    if (grain == History::Grain::Poll) {
        lines << line({tr("Time"), tr("Reading (Hz)"), tr("Outcome")});
        const QString outcomes[] = {tr("reading"), tr("miss"), tr("Stop")};
        history.visitPolls(fromMs, toMs, [&](qint64 atMs, History::Outcome outcome, int reading) {
            lines << line(
                {dateTime(history.clockTime(atMs), locale, true),
                 outcome == History::Outcome::Reading ? hertz(numbers, reading) : QString(),
                 outcomes[int(outcome)]});
        });
        return lines;
    }
    // Lowest, mean and highest are those of the readings a grid can have, as in the figures; the
    // readings beyond are counted with the others.
    lines << line({grain == History::Grain::Second ? tr("Second starting") : tr("Minute starting"),
                   tr("Lowest (Hz)"), tr("Mean (Hz)"), tr("Highest (Hz)"), tr("Readings"),
                   tr("Misses")});
    history.visitStretches(fromMs, toMs, grain, [&](qint64 startMs, const History::Stretch &kept) {
        const bool any = kept.readings > 0;
        lines << line({dateTime(history.clockTime(startMs), locale, false),
                       any ? hertz(numbers, kept.lowest) : QString(),
                       any ? hertz(numbers, double(kept.sum) / kept.readings, 3) : QString(),
                       any ? hertz(numbers, kept.highest) : QString(),
                       numbers.toString(kept.readings + kept.wild),
                       numbers.toString(kept.gaps - kept.stops)});
    });
    return lines;
}

QByteArray SpanExport::file(const QStringList &lines)
{
    return "\xEF\xBB\xBF" + lines.join(u"\r\n"_qs).toUtf8() + "\r\n";
}
