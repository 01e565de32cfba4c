#include "trendchart.h"

#include "eventtext.h"
#include "history.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

using namespace std::chrono_literals;

namespace {

constexpr int kNarrowestHalf = 25; // ±0,25 Hz
// Longer than any poll interval and its wait: no outcome for this long, and no poll ran.
constexpr qint64 kLongestSilence = 2500;
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
// with a little room beyond the farthest; the columns' readings are those a grid can have, so the
// scale reaches ±5,25 Hz at most, and its labels are never wider than "55,25".
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

// A triangle 9 px wide and 6 px deep whose point, at x, is at the chart's edge (up: the top edge).
QPolygonF edgeMark(qreal x, qreal top, int up)
{
    const qreal tip = up > 0 ? top : top + 4, base = up > 0 ? top + 6 : top - 2;
    return QPolygonF({QPointF(x, tip), QPointF(x - 4.5, base), QPointF(x + 4.5, base)});
}

} // namespace

TrendChart::TrendChart(const History &history, const QLocale &locale, QWidget *parent)
    : QWidget(parent), m_history(history), m_locale(locale)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QString TrendChart::clockText(const QLocale &locale, const QDateTime &time, bool seconds)
{
    return EventText::clock(time, locale, seconds);
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

void TrendChart::setMarked(qint64 fromMs, qint64 toMs)
{
    m_markedFrom = fromMs;
    m_markedTo = toMs;
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
    // The chosen event, at least a pixel wide however short, over the band and under the readings.
    const qint64 from = m_end - m_span.count();
    const auto xOf = [&](qint64 atMs) {
        return plot.left() + std::clamp<qint64>((atMs - from) * count / m_span.count(), 0, count);
    };
    if (m_markedTo >= m_markedFrom && m_markedTo >= from && m_markedFrom <= m_end)
        painter.fillRect(
            QRectF(QPointF(xOf(m_markedFrom), plot.top()),
                   QPointF(std::max(xOf(m_markedTo), xOf(m_markedFrom) + 1), plot.bottom())),
            QColor::fromRgba(kMarked));

    // Each column's range and mean; the means joined where nothing missed between them. Drawn
    // without antialiasing, a pixel column at a time: a repaint a poll stays cheap.
    painter.save();
    painter.setClipRect(plot);
    std::vector<QLineF> ranges;
    QList<QPolygonF> wildMarks;
    QList<QList<QPointF>> lines{{}};
    // A setting of the wall clock (or a resume, which the monotonic clock does not count on Linux)
    // and a stretch longer than any poll interval with no outcome at all both break the line: no
    // poll saw what lay between. Each setting is a dashed line across the chart.
    const auto columnOf = [&](qint64 atMs) { return int((atMs - from) * count / m_span.count()); };
    std::vector<int> breaks;
    painter.setPen(QPen(QColor::fromRgb(kText), 1, Qt::DashLine));
    for (const qint64 step : m_history.clockSteps(from, m_end)) {
        breaks.push_back(columnOf(step));
        const qreal x = plot.left() + breaks.back() + 0.5;
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    const int silentColumns = std::max<qint64>(1, kLongestSilence * count / m_span.count());
    int lastOutcome = -1;
    for (int i = 0; i < count; ++i) {
        const History::Stretch &column = columns[std::size_t(i)];
        const qreal x = plot.left() + i + 0.5;
        const bool any = column.readings || column.wild || column.gaps;
        if (any && lastOutcome >= 0 && !lines.last().isEmpty() &&
            (i - lastOutcome > silentColumns ||
             std::any_of(breaks.begin(), breaks.end(),
                         [&](int at) { return at > lastOutcome && at <= i; })))
            lines.append(QList<QPointF>());
        if (any)
            lastOutcome = i;
        if (column.wild) {
            // A triangle at the edge the readings lie beyond, pointing out of the chart; at the
            // bottom above the gaps' marks.
            if (column.wildHighest > History::kNominal)
                wildMarks.append(edgeMark(x, plot.top(), 1));
            if (column.wildLowest < History::kNominal)
                wildMarks.append(edgeMark(x, plot.bottom() - 8, -1));
        }
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
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgb(kWild));
    for (const QPolygonF &mark : wildMarks)
        painter.drawPolygon(mark);
    painter.setBrush(Qt::NoBrush);
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
    const QFontMetricsF metrics(font());
    painter.setPen(QColor::fromRgb(kText));
    // Round clock times: the ticks fall on whole steps of the local time, counted afresh from each
    // setting of the wall clock within the span; a label that would overlap the one before is left
    // out.
    std::vector<qint64> stretches = m_history.clockSteps(from, m_end);
    stretches.insert(stretches.begin(), from);
    stretches.push_back(m_end + 1);
    qreal free = 0;
    // The next round local time at or after a moment, looked up afresh for every tick, so that a
    // change of the UTC offset (summer time) keeps the ticks on round hours.
    const auto nextRound = [&](qint64 atMs) {
        const QDateTime wall = m_history.clockTime(atMs);
        const qint64 local = wall.toMSecsSinceEpoch() + qint64(wall.offsetFromUtc()) * 1000;
        return atMs + (step - (local % step + step) % step) % step;
    };
    for (std::size_t i = 0; i + 1 < stretches.size(); ++i) {
        for (qint64 tick = nextRound(stretches[i]); tick < stretches[i + 1];
             tick = nextRound(tick + 1)) {
            const qreal x = plot.left() + (tick - from) * plot.width() / qreal(m_span.count());
            const QString label = clockText(m_locale, m_history.clockTime(tick), step < 60'000);
            const qreal width = metrics.horizontalAdvance(label);
            const qreal left = std::clamp(x - width / 2, 0.0, qreal(this->width()) - width);
            if (left < free)
                continue;
            free = left + width + kMargin;
            painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + kMargin / 2));
            painter.drawText(QRectF(left, plot.bottom() + kMargin / 2, width, metrics.height()),
                             Qt::AlignCenter, label);
        }
    }
}

QString TrendChart::columnText(qreal x) const
{
    const QRectF plot = plotArea();
    const int count = int(plot.width());
    if (count < 1 || x < plot.left() || x >= plot.left() + count)
        return {};
    // The column as the chart draws it, so the tooltip says what the pixels show.
    const int i = int(x - plot.left());
    const qint64 from = m_end - m_span.count();
    const qint64 columnFrom = from + m_span.count() * i / count;
    const History::Stretch column = m_history.columns(from, m_end, count)[std::size_t(i)];
    const auto hertz = [this](int centihertz) {
        return m_locale.toString(centihertz / 100.0, 'f', 2);
    };
    QStringList lines{clockText(m_locale, m_history.clockTime(columnFrom), true)};
    const auto range = [&](int lowest, int highest) {
        return lowest == highest ? hertz(lowest) : hertz(lowest) + u'–' + hertz(highest);
    };
    if (column.readings)
        lines << range(column.lowest, column.highest) + u" Hz"_qs;
    if (column.wild)
        lines << tr("Beyond 45–55 Hz: %1 Hz").arg(range(column.wildLowest, column.wildHighest));
    if (column.gaps - column.stops > 0)
        lines << tr("Misses: %1").arg(m_locale.toString(column.gaps - column.stops));
    return lines.join(u'\n');
}

bool TrendChart::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString text = columnText(help->pos().x());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}
