#pragma once

#include <QButtonGroup>
#include <QLocale>
#include <QWidget>

#include <chrono>
#include <functional>

class History;
class QLabel;
class TrendChart;
class TrendExport;

// Where the grid has been: the trend window beside the main one, with the chart of a span (the
// last minute, ten minutes, hour or day; keys 1 to 4) and its figures beside it, for the eye, the
// keyboard and a screen reader alike. It reads the poll's history and adds nothing to the poll: it
// is redrawn once a poll at most (and once a chart column's time, once a second at most), and only
// while it is shown. What it shows can be handed over: the span as CSV (Ctrl+S), the chart as a
// PNG picture (Ctrl+Shift+S), the figures and events as text on the clipboard (Ctrl+C).
class TrendWindow : public QWidget
{
    Q_OBJECT

public:
    enum Span { Minute, TenMinutes, Hour, Day };

    TrendWindow(const History &history, const QLocale &locale, QWidget *parent = nullptr);

    void setSpan(Span span);
    Span span() const { return Span(m_spans.checkedId()); }
    TrendChart *chart() const { return m_chart; }
    // The figures as shown, one line each.
    QStringList figures() const;
    TrendExport *handover() const { return m_export; }
    // The span shown as the CSV file has it, made from a copy of its rows on any thread.
    std::function<QByteArray()> csv() const;

public slots:
    // A poll ended: the chart and the figures follow, while the window is shown.
    void pollEnded();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void refresh();
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
    QLocale m_locale;
    QButtonGroup m_spans;
    TrendChart *m_chart;
    TrendExport *m_export;
    QList<QLabel *> m_figures;
    qint64 m_refreshedAt = -1; // ms since the start, by the history's clock
};
