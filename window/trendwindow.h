#pragma once

#include "gridevents.h"

#include <QButtonGroup>
#include <QLocale>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

class History;
class QLabel;
class QListWidget;
class TrendChart;
class TrendExport;

// Where the grid has been: the trend window beside the main one, with the chart of a span (the
// last minute, ten minutes, hour or day; keys 1 to 4) and its figures beside it, and under them
// the span's events, newest first, each of which shows the chart around it when chosen; for the
// eye, the keyboard and a screen reader alike. It reads the poll's history and adds nothing to the
// poll: it is redrawn once a poll at most (and once a chart column's time, once a second at most),
// and only while it is shown. What it shows can be handed over: the span as CSV (Ctrl+S), the
// chart as a PNG picture (Ctrl+Shift+S), the figures and events as text on the clipboard (Ctrl+C).
class TrendWindow : public QWidget
{
    Q_OBJECT

public:
    enum Span { Minute, TenMinutes, Hour, Day };

    // Without events, the list says there are none.
    TrendWindow(const History &history, const QLocale &locale, QWidget *parent = nullptr);
    TrendWindow(const History &history, const GridEvents &events, const QLocale &locale,
                QWidget *parent = nullptr);

    // The span up to the latest poll; the list holds its events.
    void setSpan(Span span);
    Span span() const { return Span(m_spans.checkedId()); }
    TrendChart *chart() const { return m_chart; }
    QListWidget *eventList() const { return m_list; }
    // The chart around a past event: the shortest span that holds it with room either side, the
    // event shaded, until a span is chosen again. The list stays that of the span.
    void showAround(const GridEvents::Event &event);
    bool isLive() const { return !m_around; }
    // The figures as shown, one line each.
    QStringList figures() const;
    TrendExport *handover() const { return m_export; }
    // The span shown as the CSV file has it, made from a copy of its rows on any thread.
    std::function<QByteArray()> csv() const;

public slots:
    // A poll ended: the chart and the figures follow, while the window is shown.
    void pollEnded();
    // The polls were stopped, which ended the events that lasted: shown so at once, as no poll
    // follows.
    void pollsStopped();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void refresh();
    // Updated in place: rows for the events that came into the span, none for those that left it,
    // the lines of the events that last told afresh; the rest, the current row and the scroll
    // position stay.
    void refreshList(qint64 nowMs);
    bool spanKey(const QKeyEvent *event);
    void saveCsv();
    void savePng();
    void copy();
    QString hertz(double centihertz) const;
    QString clock(qint64 atMs) const;
    // The latest reading and its distance from 50 Hz.
    QString nowText(int centihertz) const;
    // The readings beyond what a grid can have: how many, and their range.
    QString wildText(int count, int lowest, int highest) const;
    int widestFigure() const;
    QString duration(qint64 ms) const;

    const History &m_history;
    const GridEvents &m_events;
    QLocale m_locale;
    QButtonGroup m_spans;
    TrendChart *m_chart;
    TrendExport *m_export;
    QList<QLabel *> m_figures;
    QLabel *m_aroundLabel;
    QListWidget *m_list;
    std::vector<GridEvents::Event> m_listed; // the list's rows
    struct Around
    {
        qint64 endMs;
        QString text; // around when, for a screen reader
    };
    std::optional<Around> m_around;
    qint64 m_refreshedAt = -1; // ms since the start, by the history's clock
};
