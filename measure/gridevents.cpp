#include "gridevents.h"

#include "history.h"

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 kKeptMs = std::chrono::milliseconds(History::kKept).count();

} // namespace

void GridEvents::reading(qint64 atMs, int centihertz)
{
    end(atMs, m_silence);
    if (!History::isWild(centihertz)) {
        const std::optional<Kind> outside = centihertz < History::kBandLow ? Kind::Below
                                            : centihertz > History::kBandHigh
                                                ? Kind::Above
                                                : std::optional<Kind>();
        if (m_excursion && m_events[*m_excursion].kind != outside)
            end(atMs, m_excursion);
        if (outside && !m_excursion) {
            begin(atMs, *outside, centihertz, {}, m_excursion);
        } else if (outside) {
            Event &event = m_events[*m_excursion];
            if (*outside == Kind::Below ? centihertz < event.extreme : centihertz > event.extreme) {
                event.extreme = centihertz;
                event.extremeAtMs = atMs;
            }
        }
    }
    drop(atMs);
}

void GridEvents::miss(qint64 atMs, int missesInARow, const QString &cause)
{
    if (missesInARow >= kSilentAfterMisses && !m_silence)
        begin(atMs, Kind::Silent, 0, cause, m_silence);
    drop(atMs);
}

void GridEvents::stop(qint64 atMs)
{
    end(atMs, m_excursion, true);
    end(atMs, m_silence, true);
    drop(atMs);
}

void GridEvents::begin(qint64 atMs, Kind kind, int extreme, const QString &cause,
                       std::optional<std::size_t> &index)
{
    Event event{};
    event.kind = kind;
    event.startMs = atMs;
    event.extreme = extreme;
    event.extremeAtMs = atMs;
    event.cause = cause;
    index = m_events.size();
    m_events.push_back(std::move(event));
}

void GridEvents::end(qint64 atMs, std::optional<std::size_t> &index, bool byStop)
{
    if (!index)
        return;
    m_events[*index].endMs = atMs;
    m_events[*index].endedByStop = byStop;
    index.reset();
}

void GridEvents::drop(qint64 atMs)
{
    // Excursions never overlap each other, nor silences each other: of the events that began more
    // than a day ago, all but the two latest have ended before then. The oldest ended event makes
    // room for the newest beyond the bound (at most two before it are open).
    const qint64 oldest = atMs - kKeptMs;
    for (std::size_t i = 0; i < m_events.size() && m_events[i].startMs < oldest;) {
        if (m_events[i].endMs && *m_events[i].endMs < oldest)
            erase(i);
        else
            ++i;
    }
    while (m_events.size() > kKeptAtMost) {
        std::size_t i = 0;
        while (!m_events[i].endMs)
            ++i;
        erase(i);
    }
}

void GridEvents::erase(std::size_t index)
{
    m_events.erase(m_events.begin() + qsizetype(index));
    for (std::optional<std::size_t> *open : {&m_excursion, &m_silence}) {
        if (*open && **open > index)
            --**open;
    }
}

std::vector<const GridEvents::Event *> GridEvents::open() const
{
    std::vector<const Event *> open;
    for (const std::optional<std::size_t> &index : {m_excursion, m_silence}) {
        if (index)
            open.push_back(&m_events[*index]);
    }
    std::sort(open.begin(), open.end(),
              [](const Event *a, const Event *b) { return a->startMs < b->startMs; });
    return open;
}

std::vector<GridEvents::Event> GridEvents::within(qint64 fromMs, qint64 toMs) const
{
    std::vector<Event> shown;
    auto after = std::upper_bound(m_events.begin(), m_events.end(), toMs,
                                  [](qint64 at, const Event &event) { return at < event.startMs; });
    // Of the events that began before the span, only the latest excursion and the latest silence
    // can reach into it.
    bool excursionBefore = false, silenceBefore = false;
    while (after != m_events.begin()) {
        const Event &event = *--after;
        if (event.startMs < fromMs) {
            bool &before = event.kind == Kind::Silent ? silenceBefore : excursionBefore;
            if (before)
                continue;
            before = true;
        }
        if (event.endMs.value_or(std::numeric_limits<qint64>::max()) >= fromMs)
            shown.push_back(event);
        if (excursionBefore && silenceBefore)
            break;
    }
    return shown;
}
