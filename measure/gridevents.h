#pragma once

#include <QString>

#include <deque>
#include <optional>
#include <vector>

// What happened to the grid and the meter, for the day the history keeps: in memory only.
// Outside the band: from the first reading outside 49,80–50,20 Hz to the first reading back inside;
// misses in between do not end it, and a reading that jumps from below the band to above it ends
// the one and starts the other. Meter silent: from the poll that makes five misses in a row (the
// window then shows "00,00") to the next reading. A reading beyond what a grid can have (a reply
// that lost a byte) neither starts nor ends an excursion, but the meter did answer: it ends a
// silence. Stop ends whatever is open, marked so. Bounded: events that ended more than a day ago
// are dropped, and at most kKeptAtMost are kept (a grid that crosses the band's edge on every poll
// would otherwise keep one a poll).
class GridEvents
{
public:
    // Below 49,80 Hz, above 50,20 Hz, meter silent.
    enum class Kind : quint8 { Below, Above, Silent };
    static constexpr int kSilentAfterMisses = 5; // the poll that makes five misses in a row
    static constexpr std::size_t kKeptAtMost = 10'000;
    struct Event
    {
        Kind kind;
        qint64 startMs = 0;          // History's clock: ms since the program started
        std::optional<qint64> endMs; // empty while it lasts
        bool endedByStop = false;    // ended because the polls were stopped
        int extreme = 0; // Below: lowest, Above: highest reading (centihertz); Silent: 0
        qint64 extremeAtMs = 0;
        QString cause; // Silent: the misses line's cause at its start (else empty)
        qint64 durationMs(qint64 nowMs) const { return endMs.value_or(nowMs) - startMs; }
    };
    // Fed by the poll cycle after each poll, with History's clock.
    void reading(qint64 atMs, int centihertz);
    void miss(qint64 atMs, int missesInARow, const QString &cause);
    void stop(qint64 atMs);
    // Every kept event, oldest first (events that ended more than a day ago are dropped).
    const std::deque<Event> &all() const { return m_events; }
    // The events that last now (an excursion and a silence can last together), oldest first.
    std::vector<const Event *> open() const;
    // The events that overlap a span, newest first (the trend window's list, the CSV).
    std::vector<Event> within(qint64 fromMs, qint64 toMs) const;

private:
    void begin(qint64 atMs, Kind kind, int extreme, const QString &cause,
               std::optional<std::size_t> &index);
    void end(qint64 atMs, std::optional<std::size_t> &index, bool byStop = false);
    void drop(qint64 atMs);
    void erase(std::size_t index);

    std::deque<Event> m_events;             // by their start
    std::optional<std::size_t> m_excursion; // the open excursion's place in m_events
    std::optional<std::size_t> m_silence;   // the open silence's
};
