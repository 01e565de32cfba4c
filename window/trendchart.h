#pragma once

#include <QLocale>
#include <QWidget>

#include <chrono>

class History;

// The trend window's chart, drawn with QPainter from the kept history: time across, ending at the
// latest poll, frequency up, centred on 50,00 Hz at ±0,25 Hz and widened to take in every reading
// of the span that a grid can have (45 to 55 Hz); a reading beyond is a mark at the edge it lies
// beyond, its value in the column's tooltip. For every pixel column the range of its readings and
// their mean, so that one poll's spike stays visible in a day's span; the means are joined only
// where no miss or stop came between, so a gap is never bridged. The time axis is the monotonic
// clock's, so a setting of the wall clock moves no reading; its labels are the wall clock's times,
// with the weekday where that is not today's. Everything is placed in device-independent pixels,
// the same at any scale.
class TrendChart : public QWidget
{
    Q_OBJECT

public:
    static constexpr QRgb kBackground = 0xffffffff;
    static constexpr QRgb kBand = 0xffe2f1e2;  // 49,80 to 50,20 Hz
    static constexpr QRgb kRange = 0xff8fb0e6; // a column's lowest to highest reading
    static constexpr QRgb kMean = 0xff0b3d91;
    static constexpr QRgb kGap = 0xffc62828; // the mark under a column with a miss or a stop
    static constexpr QRgb kText = 0xff202020;
    static constexpr QRgb kWild = 0xffe65100;   // a reading beyond the scale, at its edge
    static constexpr QRgb kMarked = 0x40ffb300; // behind the event chosen in the list

    TrendChart(const History &history, const QLocale &locale, QWidget *parent = nullptr);

    void setSpan(std::chrono::milliseconds span);
    std::chrono::milliseconds span() const { return m_span; }
    // The span ends here: the latest poll's time, in ms since the start.
    void setEnd(qint64 endMs);
    qint64 end() const { return m_end; }
    // A stretch shaded across the chart (the event chosen), from and to ms since the start; none
    // when toMs is before fromMs.
    void setMarked(qint64 fromMs, qint64 toMs);

    // Where the chart draws its data, and where a frequency (in hundredths of a hertz) lies on it.
    QRectF plotArea() const;
    double yOf(double centihertz) const;

    // A clock time as the chart and the figures show it: the weekday before it where its date is
    // not today's.
    static QString clockText(const QLocale &locale, const QDateTime &time, bool seconds);
    // The tooltip of the column under x: its time and its readings, wild ones with their values.
    QString columnText(qreal x) const;

    QSize sizeHint() const override { return {560, 300}; }
    QSize minimumSizeHint() const override { return {280, 180}; }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void drawTimeTicks(QPainter &painter, const QRectF &plot) const;

    const History &m_history;
    QLocale m_locale;
    std::chrono::milliseconds m_span{std::chrono::minutes(10)};
    qint64 m_end = 0;
    qint64 m_markedFrom = 0, m_markedTo = -1;
};
