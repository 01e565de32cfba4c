#pragma once

#include "gridevents.h"
#include "history.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLocale>
#include <QStringList>

// The trend window's span handed over: for a spreadsheet, a CSV table of its rows as the history
// keeps them (poll by poll within the last hour, else per second or per minute) and of its events,
// in the user's notation; for a message, its figures and events as lines of text. Times in the
// table are the wall clock's as it read then, as local dates and times in the ISO 8601 form with a
// space ("2024-05-06 14:02:13"), which spreadsheets read as times in every locale.
class SpanExport
{
    Q_DECLARE_TR_FUNCTIONS(SpanExport)

public:
    // A spreadsheet splits fields at commas, but at semicolons where the comma is the decimal
    // separator.
    static QChar separator(const QLocale &locale);
    // The span's table: a header line with the columns' names, then a line per poll, second or
    // minute.
    static QStringList rows(const History &history, qint64 fromMs, qint64 toMs,
                            const QLocale &locale);
    // The span's events (as GridEvents::within gives them), oldest first, after a header line:
    // their start, their end (empty while one lasts), how long they lasted and how they are told.
    static QStringList events(const std::vector<GridEvents::Event> &events, qint64 toMs,
                              const QLocale &locale, const History &history);
    // The CSV file: the rows, an empty line, the events. UTF-8 with a byte order mark (without
    // one, a spreadsheet on Windows reads the text in its own code page), each line ended by CR LF.
    static QByteArray csv(const History &history, const std::vector<GridEvents::Event> &events,
                          qint64 fromMs, qint64 toMs, const QLocale &locale);
    // For the clipboard: the span named with its end, the figures as shown, then the events as
    // the trend window lists them, newest first.
    static QString text(const QString &span, const QStringList &figures,
                        const std::vector<GridEvents::Event> &events, qint64 toMs,
                        const QLocale &locale, const History &history);

    // A field as CSV has it: in double quotes where it holds the separator, a quote or a line
    // break.
    static QString field(const QString &text, QChar separator);
    // A local date and time, "2024-05-06 14:02:13", with its milliseconds after the locale's
    // decimal separator where wanted.
    static QString dateTime(const QDateTime &time, const QLocale &locale, bool milliseconds);
};
