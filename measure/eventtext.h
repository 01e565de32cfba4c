#pragma once

#include "gridevents.h"

#include <QCoreApplication>
#include <QLocale>

class History;

// How an event is told, the same in the trend window's list, the window's title, the tray and the
// saved files: "14:02:13 — 40 s below 49.80 Hz, lowest 49.70 Hz".
class EventText
{
    Q_DECLARE_TR_FUNCTIONS(EventText)

public:
    // Its start by the wall clock (with the weekday where that is not today), how long it lasted
    // or lasts until nowMs, and whether it still lasts or Stop ended it.
    static QString line(const GridEvents::Event &event, qint64 nowMs, const QLocale &locale,
                        const History &history);
    // What kind of event it is, in the default locale's numbers: "below 49.80 Hz".
    static QString title(GridEvents::Kind kind);
    // A duration in whole seconds: "40 s", "6 min 5 s", "2 h 10 min".
    static QString duration(qint64 ms, const QLocale &locale);
    // A clock time in the locale's short format, with seconds where wanted, and with the weekday
    // before it where its date is not today's (the trend chart's labels too).
    static QString clock(const QDateTime &time, const QLocale &locale, bool seconds = true);
};
