#include "eventtext.h"

#include "history.h"

namespace {

QString hertz(int centihertz, const QLocale &locale)
{
    return locale.toString(centihertz / 100.0, 'f', 2);
}

} // namespace

QString EventText::line(const GridEvents::Event &event, qint64 nowMs, const QLocale &locale,
                        const History &history)
{
    enum State { Ended, Lasting, Stopped };
    const State state = !event.endMs ? Lasting : event.endedByStop ? Stopped : Ended;
    const QString start = clock(history.clockTime(event.startMs), locale);
    const QString lasted = duration(event.durationMs(nowMs), locale);
    switch (event.kind) {
    case GridEvents::Kind::Below: {
        const QString texts[] = {tr("%1 — %2 below %3 Hz, lowest %4 Hz"),
                                 tr("%1 — %2 below %3 Hz, still lasting, lowest %4 Hz"),
                                 tr("%1 — %2 below %3 Hz until Stop, lowest %4 Hz")};
        return texts[state].arg(start, lasted, hertz(History::kBandLow, locale),
                                hertz(event.extreme, locale));
    }
    case GridEvents::Kind::Above: {
        const QString texts[] = {tr("%1 — %2 above %3 Hz, highest %4 Hz"),
                                 tr("%1 — %2 above %3 Hz, still lasting, highest %4 Hz"),
                                 tr("%1 — %2 above %3 Hz until Stop, highest %4 Hz")};
        return texts[state].arg(start, lasted, hertz(History::kBandHigh, locale),
                                hertz(event.extreme, locale));
    }
    case GridEvents::Kind::Silent: {
        const QString texts[] = {tr("%1 — meter silent for %2: %3"),
                                 tr("%1 — meter silent for %2, still lasting: %3"),
                                 tr("%1 — meter silent for %2 until Stop: %3")};
        return texts[state].arg(start, lasted, event.cause);
    }
    }
    return {};
}

QString EventText::title(GridEvents::Kind kind)
{
    switch (kind) {
    case GridEvents::Kind::Below:
        return tr("below %1 Hz").arg(hertz(History::kBandLow, QLocale()));
    case GridEvents::Kind::Above:
        return tr("above %1 Hz").arg(hertz(History::kBandHigh, QLocale()));
    case GridEvents::Kind::Silent:
        return tr("meter silent");
    }
    return {};
}

QString EventText::duration(qint64 ms, const QLocale &locale)
{
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    const auto number = [&](qint64 n) { return locale.toString(n); };
    if (seconds >= 3600 && seconds % 3600 / 60)
        return tr("%1 h %2 min").arg(number(seconds / 3600), number(seconds % 3600 / 60));
    if (seconds >= 3600)
        return tr("%1 h").arg(number(seconds / 3600));
    if (seconds >= 60 && seconds % 60)
        return tr("%1 min %2 s").arg(number(seconds / 60), number(seconds % 60));
    if (seconds >= 60)
        return tr("%1 min").arg(number(seconds / 60));
    return tr("%1 s").arg(number(seconds));
}

QString EventText::clock(const QDateTime &time, const QLocale &locale, bool seconds)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (seconds && !format.contains(u's')) {
        // After the minutes, with the separator the format puts before them ("HH.mm.ss").
        const qsizetype minutes = format.lastIndexOf(u"mm"_qs);
        if (minutes > 0)
            format.insert(minutes + 2, format[minutes - 1] + u"ss"_qs);
    }
    const QString text = locale.toString(time.time(), format);
    if (time.date() == QDate::currentDate())
        return text;
    return locale.dayName(time.date().dayOfWeek(), QLocale::ShortFormat) + u' ' + text;
}
