#include "trendwindow.h"

#include "eventtext.h"
#include "history.h"
#include "spanexport.h"
#include "trendchart.h"
#include "trendexport.h"

#include <QAction>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <memory>

using namespace std::chrono_literals;

namespace {

constexpr std::array<std::chrono::milliseconds, 4> kSpans{1min, 10min, 1h, 24h};
enum Figure { Now, Lowest, Highest, Mean, Outside, Counts, Wild, Silence, FigureCount };
constexpr int kListedRows = 5; // the rows the list shows without scrolling

const GridEvents kNoEvents;

} // namespace

TrendWindow::TrendWindow(const History &history, const QLocale &locale, QWidget *parent)
    : TrendWindow(history, kNoEvents, locale, parent)
{}

TrendWindow::TrendWindow(const History &history, const GridEvents &events, const QLocale &locale,
                         QWidget *parent)
    : QWidget(parent, Qt::Window), m_history(history), m_events(events), m_locale(locale),
      m_chart(new TrendChart(history, locale, this)), m_export(new TrendExport(this)),
      m_aroundLabel(new QLabel(this)), m_list(new QListWidget(this))
{
    setObjectName(QStringLiteral("trend"));
    setWindowTitle(tr("Frekuensi — trend"));
    m_chart->setObjectName(QStringLiteral("chart"));
    m_chart->setAccessibleName(tr("Trend chart"));

    auto *buttons = new QHBoxLayout;
    const QString names[] = {tr("1 min"), tr("10 min"), tr("1 h"), tr("24 h")};
    const QString spoken[] = {tr("The last minute"), tr("The last ten minutes"),
                              tr("The last hour"), tr("The last day")};
    for (int span = Minute; span <= Day; ++span) {
        auto *button = new QPushButton(names[span], this);
        button->setCheckable(true);
        button->setAccessibleDescription(tr("%1, key %2").arg(spoken[span]).arg(span + 1));
        m_spans.addButton(button, span);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    m_aroundLabel->setObjectName(QStringLiteral("around"));
    m_aroundLabel->hide();
    buttons->addWidget(m_aroundLabel);
    // Handing the span over, from the keyboard too, where the span's buttons leave room.
    const auto offer = [&](const QString &text, const QKeySequence &keys, const QString &spoken,
                           void (TrendWindow::*handOver)()) {
        auto *action = new QAction(text, this);
        action->setShortcut(keys);
        action->setToolTip(tr("%1, %2").arg(spoken, keys.toString(QKeySequence::NativeText)));
        connect(action, &QAction::triggered, this, handOver);
        addAction(action);
        auto *button = new QToolButton(this);
        button->setDefaultAction(action);
        button->setAccessibleDescription(action->toolTip());
        buttons->addWidget(button);
    };
    offer(tr("Save as CSV…"), Qt::CTRL | Qt::Key_S,
          tr("Saves the span's readings and events as a CSV file for a spreadsheet"),
          &TrendWindow::saveCsv);
    offer(tr("Save as PNG…"), Qt::CTRL | Qt::SHIFT | Qt::Key_S,
          tr("Saves the chart as a PNG picture"), &TrendWindow::savePng);
    offer(tr("Copy"), Qt::CTRL | Qt::Key_C, tr("Copies the figures and the events as text"),
          &TrendWindow::copy);
    connect(&m_spans, &QButtonGroup::idClicked, this, [this](int span) { setSpan(Span(span)); });

    // The figures' column keeps one width, that of the widest line it can show, so the chart
    // keeps its width (and its columns their times) while the figures' texts change.
    auto *figures = new QWidget(this);
    auto *side = new QVBoxLayout(figures);
    side->setContentsMargins(0, 0, 0, 0);
    for (int figure = 0; figure < FigureCount; ++figure) {
        auto *label = new QLabel(figures);
        label->setObjectName(u"figure%1"_qs.arg(figure));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        label->setFocusPolicy(Qt::StrongFocus); // read one by one from the keyboard
        label->setWordWrap(true);
        m_figures << label;
        side->addWidget(label);
    }
    side->addStretch();
    figures->setFixedWidth(widestFigure());
    auto *body = new QHBoxLayout;
    body->addWidget(m_chart, 1);
    body->addWidget(figures);

    // The events under the chart and the figures, a few rows high: the window grows by them, the
    // chart keeps its room.
    auto *heading = new QLabel(tr("Events in this span, newest first"), this);
    heading->setBuddy(m_list);
    m_list->setObjectName(QStringLiteral("events"));
    m_list->setAccessibleName(tr("Events"));
    m_list->setAccessibleDescription(
        tr("Times outside %1–%2 Hz and silences of the meter in the span shown, newest first; "
           "Enter shows one on the chart")
            .arg(hertz(History::kBandLow), hertz(History::kBandHigh)));
    m_list->setWordWrap(true);
    // Rows of one height: a row more would otherwise have every row's wrapped text measured
    // again, thousands in the day's span, on every new event.
    m_list->setUniformItemSizes(true);
    m_list->installEventFilter(this);
    (new QListWidgetItem(tr("No events in this span"), m_list))->setFlags(Qt::NoItemFlags);
    m_list->setFixedHeight(m_list->sizeHintForRow(0) * kListedRows + 2 * m_list->frameWidth());
    const auto choose = [this](QListWidgetItem *item) {
        const int row = m_list->row(item);
        if (row >= 0 && std::size_t(row) < m_listed.size())
            showAround(m_listed[std::size_t(row)]);
    };
    connect(m_list, &QListWidget::itemActivated, this, choose);
    connect(m_list, &QListWidget::itemClicked, this, choose);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addLayout(body, 1);
    layout->addWidget(heading);
    layout->addWidget(m_list);
    resize(820, 360 + heading->sizeHint().height() + m_list->height() + 2 * layout->spacing());
    setSpan(TenMinutes);
}

void TrendWindow::setSpan(Span span)
{
    m_spans.button(span)->setChecked(true);
    m_around.reset();
    m_aroundLabel->hide();
    m_chart->setMarked(0, -1);
    m_chart->setSpan(kSpans[span]);
    refresh();
}

void TrendWindow::showAround(const GridEvents::Event &event)
{
    const qint64 now = m_history.now();
    const qint64 end = event.endMs.value_or(now);
    const qint64 lasted = end - event.startMs;
    // In the middle four fifths of the span; one longer than a day (a lasting one) to its end.
    const auto holding = std::find_if(kSpans.begin(), kSpans.end(),
                                      [&](auto span) { return lasted * 5 <= span.count() * 4; });
    const std::chrono::milliseconds span = holding == kSpans.end() ? kSpans.back() : *holding;
    m_around = Around{std::min(now, end + std::max<qint64>(0, (span.count() - lasted) / 2)),
                      tr("Around %1").arg(clock(event.startMs))};
    m_aroundLabel->setText(tr("%1; a span key shows the latest again").arg(m_around->text));
    m_aroundLabel->show();
    m_chart->setSpan(span);
    m_chart->setMarked(event.startMs, end);
    refresh();
}

void TrendWindow::pollEnded()
{
    // Four polls a second would redraw a chart whose columns each stand for a second or more (but
    // in the minute's span) and figures that change little: no sooner after the last redraw than
    // the lesser of a column's time and a second.
    if (!isVisible())
        return;
    const qint64 now = m_history.now();
    const qint64 column = m_chart->span().count() / std::max(1, int(m_chart->plotArea().width()));
    if (m_refreshedAt >= 0 && now - m_refreshedAt < std::clamp<qint64>(column, 0, 1000))
        return;
    refresh();
}

void TrendWindow::pollsStopped()
{
    if (isVisible())
        refresh();
}

bool TrendWindow::spanKey(const QKeyEvent *event)
{
    // Keys 1 to 4 choose the span, wherever the focus is in the window.
    const int span = event->key() - Qt::Key_1;
    if (span < Minute || span > Day || (event->modifiers() & ~Qt::KeypadModifier))
        return false;
    setSpan(Span(span));
    return true;
}

bool TrendWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The list would take a digit for a search among its lines.
    if (watched == m_list && event->type() == QEvent::KeyPress &&
        spanKey(static_cast<QKeyEvent *>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

void TrendWindow::keyPressEvent(QKeyEvent *event)
{
    // Esc closes it, as a window beside the main one is closed: on a small screen it may cover
    // the main window's buttons.
    if (event->key() == Qt::Key_Escape && !event->modifiers())
        close();
    else if (!spanKey(event))
        QWidget::keyPressEvent(event);
}

void TrendWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

QStringList TrendWindow::figures() const
{
    QStringList lines;
    for (const QLabel *label : m_figures) {
        if (!label->text().isEmpty())
            lines << label->text();
    }
    return lines;
}

std::function<QByteArray()> TrendWindow::csv() const
{
    // The span the chart shows: the latest, or the one around a chosen event.
    const qint64 end = m_chart->end();
    const qint64 start = end - m_chart->span().count();
    const auto rows = std::make_shared<const History>(m_history.excerpt(start, end));
    const auto events =
        std::make_shared<const std::vector<GridEvents::Event>>(m_events.within(start, end));
    return [rows, events, start, end, locale = m_locale] {
        return SpanExport::csv(*rows, *events, start, end, locale);
    };
}

void TrendWindow::saveCsv()
{
    m_export->saveCsv(csv());
}

void TrendWindow::savePng()
{
    m_export->savePng(TrendExport::picture(m_chart, m_chart->devicePixelRatioF()));
}

void TrendWindow::copy()
{
    const qint64 end = m_chart->end();
    const qint64 start = end - m_chart->span().count();
    const QString span = m_around
                             ? m_around->text
                             : m_spans.checkedButton()->accessibleDescription().section(u',', 0, 0);
    m_export->copy(
        SpanExport::text(span, figures(), m_events.within(start, end), end, m_locale, m_history));
}

QString TrendWindow::hertz(double centihertz) const
{
    return m_locale.toString(centihertz / 100, 'f', 2);
}

QString TrendWindow::clock(qint64 atMs) const
{
    return TrendChart::clockText(m_locale, m_history.clockTime(atMs), true);
}

QString TrendWindow::nowText(int centihertz) const
{
    // The distance from 50 Hz in 64 bits, whatever the reading; beyond ±1 Hz in hertz.
    const qint64 millihertz = (qint64(centihertz) - History::kNominal) * 10;
    const QString sign = millihertz > 0 ? u"+"_qs : QString();
    if (std::abs(millihertz) > 1000)
        return tr("Now: %1 Hz (%2 Hz)").arg(hertz(centihertz), sign + hertz(millihertz / 10.0));
    return tr("Now: %1 Hz (%2 mHz)").arg(hertz(centihertz), sign + m_locale.toString(millihertz));
}

QString TrendWindow::wildText(int count, int lowest, int highest) const
{
    const QString range = lowest == highest ? hertz(lowest) : hertz(lowest) + u'–' + hertz(highest);
    return tr("Readings beyond 45–55 Hz: %1 (%2 Hz), left out of the scale and the mean")
        .arg(m_locale.toString(count), range);
}

int TrendWindow::widestFigure() const
{
    // The longest texts the figures have for a grid's readings, with the widest weekday and hours,
    // as wide as the font makes them; a longer line (a wild reading's) wraps within that width.
    const QFontMetrics metrics(font());
    const QString grid = hertz(History::kGridHighest);
    QString time;
    for (int day = 1; day <= 7; ++day) {
        const QString text = TrendChart::clockText(
            m_locale,
            QDateTime(
                QDate::currentDate().addDays(-7 + (day - QDate::currentDate().dayOfWeek() + 7) % 7),
                QTime(22, 58, 58)),
            true);
        if (metrics.horizontalAdvance(text) > metrics.horizontalAdvance(time))
            time = text;
    }
    const QStringList longest{
        nowText(History::kNominal - 99),
        tr("Lowest: %1 Hz at %2").arg(grid, time),
        tr("Highest: %1 Hz at %2").arg(grid, time),
        tr("Outside %1–%2 Hz: %3")
            .arg(hertz(History::kBandLow), hertz(History::kBandHigh),
                 duration(23 * 3600'000 + 58 * 60'000)),
        tr("Readings: %1, misses: %2").arg(m_locale.toString(345600), m_locale.toString(345600)),
        tr("No reading since %1").arg(time)};
    int widest = 0;
    for (const QString &text : longest)
        widest = std::max(widest, metrics.horizontalAdvance(text));
    return widest + metrics.averageCharWidth();
}

QString TrendWindow::duration(qint64 ms) const
{
    const qint64 seconds = ms / 1000;
    if (seconds >= 3600)
        return tr("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
    if (seconds >= 60)
        return tr("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return tr("%1 s").arg(seconds);
}

void TrendWindow::refresh()
{
    const qint64 now = m_history.now();
    m_refreshedAt = now;
    const qint64 end = m_around ? m_around->endMs : now;
    m_chart->setEnd(end);
    const History::Figures shown = m_history.figures(end - m_chart->span().count(), end);
    QStringList texts(FigureCount);
    if (const std::optional<int> now = m_history.lastReading())
        texts[Now] = nowText(*now);
    // Lowest, highest and mean are those of the readings a grid can have, and come together.
    if (shown.lowest && shown.highest && shown.mean) {
        texts[Lowest] = tr("Lowest: %1 Hz at %2").arg(hertz(*shown.lowest), clock(shown.lowestAt));
        texts[Highest] =
            tr("Highest: %1 Hz at %2").arg(hertz(*shown.highest), clock(shown.highestAt));
        texts[Mean] = tr("Mean: %1 Hz").arg(hertz(*shown.mean));
        texts[Outside] = tr("Outside %1–%2 Hz: %3")
                             .arg(hertz(History::kBandLow), hertz(History::kBandHigh),
                                  duration(shown.outsideBandMs));
    } else if (!shown.wild) {
        texts[Lowest] = tr("No readings in this span");
    }
    texts[Counts] = tr("Readings: %1, misses: %2")
                        .arg(m_locale.toString(shown.readings), m_locale.toString(shown.misses));
    if (shown.wild)
        texts[Wild] = wildText(shown.wild, shown.wildLowest, shown.wildHighest);
    if (const std::optional<qint64> since = m_history.noReadingSince())
        texts[Silence] = tr("No reading since %1").arg(clock(*since));
    for (int figure = 0; figure < FigureCount; ++figure) {
        m_figures[figure]->setText(texts[figure]);
        m_figures[figure]->setVisible(!texts[figure].isEmpty());
    }
    // A screen reader hears the chart as the span and its figures.
    m_chart->setAccessibleDescription(tr("%1: %2").arg(
        m_around ? m_around->text
                 : m_spans.checkedButton()->accessibleDescription().section(u',', 0, 0),
        figures().join(u"; "_qs)));
    refreshList(now);
}

void TrendWindow::refreshList(qint64 nowMs)
{
    // Updated in place, never rebuilt: a grid on the band's edge starts an event every other
    // poll, and telling and laying out thousands of rows afresh each time would hold up the poll.
    // Both lists are newest first and keep the events' order, so one walk down them finds the
    // rows to add (new events, at the top), to drop (those that left the span, at the bottom)
    // and to tell afresh (those that last or just ended); the current row and the scroll
    // position stay where they are.
    std::vector<GridEvents::Event> listed = m_events.within(nowMs - kSpans[span()].count(), nowMs);
    const auto same = [](const GridEvents::Event &a, const GridEvents::Event &b) {
        return a.kind == b.kind && a.startMs == b.startMs;
    };
    if (m_listed.empty() && !listed.empty())
        delete m_list->takeItem(0); // "No events in this span"
    // Scrolled down to older events, the rows in view stay when newer ones come in above them.
    QListWidgetItem *top =
        m_list->verticalScrollBar()->value() > 0 ? m_list->itemAt(0, 0) : nullptr;
    bool added = false;
    const auto drop = [&](int row) {
        QListWidgetItem *item = m_list->takeItem(row);
        if (item == top)
            top = nullptr;
        delete item;
    };
    std::optional<QSet<std::pair<qint64, int>>> staying; // built only where the lists differ
    const auto stays = [&](const GridEvents::Event &old) {
        if (!staying) {
            staying.emplace();
            staying->reserve(qsizetype(listed.size()));
            for (const GridEvents::Event &event : listed)
                staying->insert({event.startMs, int(event.kind)});
        }
        return staying->contains({old.startMs, int(old.kind)});
    };
    std::size_t was = 0; // in m_listed
    for (std::size_t row = 0; row < listed.size(); ++row) {
        const GridEvents::Event &event = listed[row];
        while (was < m_listed.size() && !same(m_listed[was], event) && !stays(m_listed[was])) {
            drop(int(row));
            ++was;
        }
        if (was < m_listed.size() && same(m_listed[was], event)) {
            if (!event.endMs || !m_listed[was].endMs)
                m_list->item(int(row))->setText(EventText::line(event, nowMs, m_locale, m_history));
            ++was;
        } else {
            m_list->insertItem(int(row), EventText::line(event, nowMs, m_locale, m_history));
            added = true;
        }
    }
    while (!(listed.empty() && m_listed.empty()) && m_list->count() > int(listed.size()))
        drop(m_list->count() - 1); // the rest left the span
    if (top && added)
        m_list->scrollToItem(top, QAbstractItemView::PositionAtTop);
    if (listed.empty() && !m_listed.empty())
        (new QListWidgetItem(tr("No events in this span"), m_list))->setFlags(Qt::NoItemFlags);
    m_listed = std::move(listed);
}
