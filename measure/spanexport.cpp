#include "spanexport.h"

#include "eventtext.h"

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

QString record(const QStringList &fields, QChar separator)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted << SpanExport::field(field, separator);
    return quoted.join(separator);
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
    QStringList lines;
    const History::Grain grain = history.grain(fromMs, toMs);
    if (grain == History::Grain::Poll) {
        lines << record({tr("Time"), tr("Reading (Hz)"), tr("Outcome")}, sep);
        const QString outcomes[] = {tr("reading"), tr("miss"), tr("Stop")};
        history.visitPolls(fromMs, toMs, [&](qint64 atMs, History::Outcome outcome, int reading) {
            lines << record(
                {dateTime(history.clockTime(atMs), locale, true),
                 outcome == History::Outcome::Reading ? hertz(numbers, reading) : QString(),
                 outcomes[int(outcome)]},
                sep);
        });
        return lines;
    }
    // Lowest, mean and highest are those of the readings a grid can have, as in the figures; the
    // readings beyond are counted with the others.
    lines << record(
        {grain == History::Grain::Second ? tr("Second starting") : tr("Minute starting"),
         tr("Lowest (Hz)"), tr("Mean (Hz)"), tr("Highest (Hz)"), tr("Readings"), tr("Misses")},
        sep);
    history.visitStretches(fromMs, toMs, grain, [&](qint64 startMs, const History::Stretch &kept) {
        const bool any = kept.readings > 0;
        lines << record({dateTime(history.clockTime(startMs), locale, false),
                         any ? hertz(numbers, kept.lowest) : QString(),
                         any ? hertz(numbers, double(kept.sum) / kept.readings, 3) : QString(),
                         any ? hertz(numbers, kept.highest) : QString(),
                         numbers.toString(kept.readings + kept.wild),
                         numbers.toString(kept.gaps - kept.stops)},
                        sep);
    });
    return lines;
}

QStringList SpanExport::events(const std::vector<GridEvents::Event> &events, qint64 toMs,
                               const QLocale &locale, const History &history)
{
    const QChar sep = separator(locale);
    QStringList lines{record({tr("Start"), tr("End"), tr("Duration (s)"), tr("Event")}, sep)};
    for (auto event = events.rbegin(); event != events.rend(); ++event) {
        lines << record(
            {dateTime(history.clockTime(event->startMs), locale, true),
             event->endMs ? dateTime(history.clockTime(*event->endMs), locale, true) : QString(),
             plain(locale).toString(event->durationMs(toMs) / 1000.0, 'f', 3),
             EventText::line(*event, toMs, locale, history)},
            sep);
    }
    return lines;
}

QByteArray SpanExport::csv(const History &history, const std::vector<GridEvents::Event> &events,
                           qint64 fromMs, qint64 toMs, const QLocale &locale)
{
    const QStringList lines = rows(history, fromMs, toMs, locale) + QStringList{QString()} +
                              SpanExport::events(events, toMs, locale, history);
    return "\xEF\xBB\xBF" + lines.join(u"\r\n"_qs).toUtf8() + "\r\n";
}

QString SpanExport::text(const QString &span, const QStringList &figures,
                         const std::vector<GridEvents::Event> &events, qint64 toMs,
                         const QLocale &locale, const History &history)
{
    QStringList lines{
        tr("%1, until %2").arg(span, dateTime(history.clockTime(toMs), locale, false))};
    lines << figures;
    if (!events.empty())
        lines << QString();
    for (const GridEvents::Event &event : events)
        lines << EventText::line(event, toMs, locale, history);
    return lines.join(u'\n') + u'\n';
}
