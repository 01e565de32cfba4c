#include "trendchart.h"

#include "history.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace std::chrono_literals;

namespace {

constexpr int kNarrowestHalf = 25; // ±0,25 Hz
constexpr qreal kMargin = 6;

// A tick every so often, at round clock times, for each span.
std::chrono::milliseconds tickStep(std::chrono::milliseconds span)
{
    if (span <= 1min)
        return 10s;
    if (span <= 10min)
        return 2min;
    if (span <= 1h)
        return 10min;
    return 3h;
}

// Half the frequency scale, in hundredths of a hertz: ±0,25 Hz, or wide enough for every reading
// with a little room beyond the farthest.
int halfScaleOf(const std::vector<History::Stretch> &columns)
{
    int half = kNarrowestHalf;
    for (const History::Stretch &column : columns) {
        if (column.readings)
            half = std::max(
                {half, History::kNominal - column.lowest, column.highest - History::kNominal});
    }
    return half > kNarrowestHalf ? half + std::max(1, half / 20) : half;
}

} // namespace

TrendChart::TrendChart(const History &history, const QLocale &locale, QWidget *parent)
    : QWidget(parent), m_history(history), m_locale(locale)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QString TrendChart::clockFormat(const QLocale &locale, bool seconds)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (seconds && !format.contains(u's')) {
        // After the minutes, with the separator the format puts before them ("HH.mm.ss").
        const qsizetype minutes = format.lastIndexOf(u"mm"_qs);
        if (minutes > 0)
            format.insert(minutes + 2, format[minutes - 1] + u"ss"_qs);
    }
    return format;
}

void TrendChart::setSpan(std::chrono::milliseconds span)
{
    m_span = span;
    update();
}

void TrendChart::setEnd(qint64 endMs)
{
    m_end = endMs;
    update();
}

QRectF TrendChart::plotArea() const
{
    const QFontMetricsF metrics(font());
    const qreal left = metrics.horizontalAdvance(m_locale.toString(50.25, 'f', 2)) + 2 * kMargin;
    return QRectF(rect()).adjusted(left, metrics.height() / 2 + kMargin, -kMargin,
                                   -(metrics.height() + 2 * kMargin));
}

double TrendChart::yOf(double centihertz) const
{
    const QRectF plot = plotArea();
    const int half = halfScaleOf(
        m_history.columns(m_end - m_span.count(), m_end, std::max(1, int(plot.width()))));
    return plot.top() + (History::kNominal + half - centihertz) * plot.height() / (2.0 * half);
}

void TrendChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgb(kBackground));
    const QRectF plot = plotArea();
    if (plot.width() < 2 || plot.height() < 2)
        return;
    const int count = int(plot.width());
    const std::vector<History::Stretch> columns =
        m_history.columns(m_end - m_span.count(), m_end, count);
    const int half = halfScaleOf(columns);
    const auto y = [&](double centihertz) {
        return plot.top() + (History::kNominal + half - centihertz) * plot.height() / (2.0 * half);
    };

    // The band where deviation is watched, and its lines, labelled at the left.
    painter.fillRect(QRectF(plot.left(), y(History::kBandHigh), plot.width(),
                            y(History::kBandLow) - y(History::kBandHigh)),
                     QColor::fromRgb(kBand));
    const QFontMetricsF metrics(font());
    for (const int level : {History::kBandLow, History::kNominal, History::kBandHigh}) {
        painter.setPen(QPen(QColor::fromRgb(level == History::kNominal ? kText : kGap), 1,
                            level == History::kNominal ? Qt::SolidLine : Qt::DashLine));
        painter.drawLine(QPointF(plot.left(), y(level)), QPointF(plot.right(), y(level)));
    }
    // Labels at the left: 50,00, the scale's ends, and the band's lines where they have room.
    painter.setPen(QColor::fromRgb(kText));
    QList<qreal> labelled;
    for (const int level : {History::kNominal, History::kNominal + half, History::kNominal - half,
                            History::kBandHigh, History::kBandLow}) {
        const qreal at = y(level);
        if (std::any_of(labelled.begin(), labelled.end(),
                        [&](qreal other) { return std::abs(other - at) < metrics.height(); }))
            continue;
        labelled << at;
        painter.drawText(
            QRectF(0, at - metrics.height() / 2, plot.left() - kMargin, metrics.height()),
            Qt::AlignRight | Qt::AlignVCenter, m_locale.toString(level / 100.0, 'f', 2));
    }
    drawTimeTicks(painter, plot);

    // Each column's range and mean; the means joined where nothing missed between them. Drawn
    // without antialiasing, a pixel column at a time: a repaint a poll stays cheap.
    painter.save();
    painter.setClipRect(plot);
    std::vector<QLineF> ranges;
    QList<QList<QPointF>> lines{{}};
    for (int i = 0; i < count; ++i) {
        const History::Stretch &column = columns[std::size_t(i)];
        const qreal x = plot.left() + i + 0.5;
        if (column.gaps) {
            painter.fillRect(QRectF(x - 0.5, plot.bottom() - 3, 1, 3), QColor::fromRgb(kGap));
            if (!lines.last().isEmpty())
                lines.append(QList<QPointF>());
        }
        if (!column.readings)
            continue;
        if (column.highest != column.lowest)
            ranges.emplace_back(QPointF(x, y(column.highest) - 0.5),
                                QPointF(x, y(column.lowest) + 0.5));
        lines.last() << QPointF(x, y(double(column.sum) / column.readings));
        // A column that also missed ends the line at its reading; the next starts a new one.
        if (column.gaps)
            lines.append(QList<QPointF>());
    }
    painter.setPen(QPen(QColor::fromRgb(kRange), 1));
    painter.drawLines(ranges.data(), int(ranges.size()));
    painter.setPen(QPen(QColor::fromRgb(kMean), 2));
    for (const QList<QPointF> &line : lines) {
        if (line.size() == 1)
            painter.drawPoint(line.first());
        else if (line.size() > 1)
            painter.drawPolyline(line.constData(), int(line.size()));
    }
    painter.restore();
    painter.setPen(QColor::fromRgb(kText));
    painter.drawRect(plot);
}

void TrendChart::drawTimeTicks(QPainter &painter, const QRectF &plot) const
{
    const qint64 step = tickStep(m_span).count();
    const qint64 from = m_end - m_span.count();
    // Round clock times: the ticks fall on whole steps of the local time.
    const QDateTime start = m_history.clockTime(from);
    const qint64 local = start.toMSecsSinceEpoch() + qint64(start.offsetFromUtc()) * 1000;
    const qint64 first = from + (step - local % step) % step;
    const QString format = clockFormat(m_locale, step < 60'000);
    const QFontMetricsF metrics(font());
    painter.setPen(QColor::fromRgb(kText));
    for (qint64 tick = first; tick <= m_end; tick += step) {
        const qreal x = plot.left() + (tick - from) * plot.width() / qreal(m_span.count());
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + kMargin / 2));
        const QString label = m_locale.toString(m_history.clockTime(tick).time(), format);
        const qreal width = metrics.horizontalAdvance(label);
        painter.drawText(QRectF(std::clamp(x - width / 2, 0.0, qreal(this->width()) - width),
                                plot.bottom() + kMargin / 2, width, metrics.height()),
                         Qt::AlignCenter, label);
    }
}
