#pragma once

#include <QDateTime>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

// Where the grid has been: every poll's outcome since the program started, for up to a day, in
// memory only (nothing is written anywhere, nothing outlives the program). A poll took a reading
// (as displayed, in hundredths of a hertz), missed, or the polls were stopped (Stop, until Start).
// The last hour is kept poll by poll; the whole day per second and per minute, as the lowest, the
// sum and the highest of its readings with its misses and stops, so that one poll's spike and every
// gap stay visible however far back, and a day's span is drawn from 1440 minutes. Bounded whatever
// the interval: about 6 MiB after a day at 0,25 s.
// Times are kept by the monotonic clock, so spans and durations stay true when the wall clock is
// set; the wall clock's time of each moment is what it read then: a step of the wall clock (NTP
// setting a board's clock after start, a resume from suspend) starts a new stretch of clock times
// from the poll that saw it.
class History
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::hours kKept{24};
    static constexpr std::chrono::minutes kInFull{61};
    // Where deviation is watched in a 50 Hz grid, in hundredths of a hertz.
    static constexpr int kNominal = 5000;
    static constexpr int kBandLow = 4980;
    static constexpr int kBandHigh = 5020;
    // Readings a grid can have: beyond these (a reply that lost a byte, a stray value) a reading
    // is kept apart, so that it neither scales the chart nor moves a mean.
    static constexpr int kGridLowest = 4500;
    static constexpr int kGridHighest = 5500;
    // A wall clock that differs from the monotonic clock's account by more than this was set.
    static constexpr qint64 kClockStepMs = 1000;

    enum class Outcome : quint8 { Reading, Miss, Stop };

    // What a stretch of time holds: its readings' lowest, sum and highest, and how many polls
    // missed or stops began in it. Readings beyond what a grid can have are counted apart (wild),
    // with their own lowest and highest.
    struct Stretch
    {
        int readings = 0;
        int gaps = 0; // misses and stops
        int stops = 0;
        int lowest = 0;
        int highest = 0;
        int wild = 0;
        int wildLowest = 0;
        int wildHighest = 0;
        qint64 sum = 0;
        void add(Outcome outcome, int centihertz);
        void add(const Stretch &other);
    };

    // The figures of a span, as the trend window shows them: the lowest, the highest and the mean
    // of the readings a grid can have, and apart from them the wild ones' count and range.
    struct Figures
    {
        int readings = 0; // wild ones too
        int misses = 0;
        int wild = 0;
        int wildLowest = 0, wildHighest = 0;
        std::optional<int> lowest, highest; // hundredths of a hertz
        qint64 lowestAt = 0, highestAt = 0; // ms since the start
        std::optional<double> mean;
        qint64 outsideBandMs = 0;
    };

    // A history as if the program had started that long ago (for pictures and checks made from a
    // known history).
    explicit History(std::chrono::milliseconds started = {});

    // Ms since the program started, by the monotonic clock: the time of the outcomes.
    qint64 now() const;
    // A poll's outcome now, with the wall clock's time now.
    void add(Outcome outcome, int centihertz = 0);
    void add(qint64 atMs, Outcome outcome, int centihertz = 0);
    // What the wall clock read at a moment; a new stretch of clock times where it was set since.
    void noteClock(qint64 atMs, const QDateTime &wall);

    // The wall-clock time of a moment, for the chart's ticks and the figures.
    QDateTime clockTime(qint64 atMs) const;
    // Where the clock times change stretch within a span: the moments from which clockTime counts
    // from a new setting of the wall clock.
    std::vector<qint64> clockSteps(qint64 fromMs, qint64 toMs) const;
    static bool isWild(int centihertz)
    {
        return centihertz < kGridLowest || centihertz > kGridHighest;
    }
    // The span from fromMs to toMs cut into columns, each with what fell in it.
    std::vector<Stretch> columns(qint64 fromMs, qint64 toMs, int count) const;
    Figures figures(qint64 fromMs, qint64 toMs) const;
    // How a span's rows are kept: poll by poll while the span lies in the last hour; beyond it per
    // second while that makes no more rows than an hour at 0,25 s, else per minute.
    enum class Grain { Poll, Second, Minute };
    Grain grain(qint64 fromMs, qint64 toMs) const;
    // The kept polls of a span, oldest first: their time, outcome and reading.
    void visitPolls(qint64 fromMs, qint64 toMs,
                    const std::function<void(qint64, Outcome, int)> &visit) const;
    // The kept seconds or minutes of a span that hold anything, oldest first, from their start.
    void visitStretches(qint64 fromMs, qint64 toMs, Grain grain,
                        const std::function<void(qint64, const Stretch &)> &visit) const;
    // What a span's rows and their clock times need, as a history of its own: copied in a
    // moment (an hour at 0,25 s is 230 KB), to be read on another thread while the polls go on.
    History excerpt(qint64 fromMs, qint64 toMs) const;
    // The latest poll's outcome and reading, and since when no poll has taken a reading.
    std::optional<Outcome> lastOutcome() const;
    std::optional<int> lastReading() const;
    std::optional<qint64> noReadingSince() const;
    // What the kept outcomes take, in bytes.
    std::size_t memoryBytes() const;

private:
    struct Poll
    {
        qint64 atMs;
        int centihertz;
        Outcome outcome;
    };
    // What fell in a second or a minute, from its start.
    struct Bucket
    {
        qint64 startMs;
        Stretch stretch;
        int outsideBandMs = 0;
        int lowestAfterMs = 0; // when its lowest and highest reading came, after its start
        int highestAfterMs = 0;
    };
    using Buckets = std::deque<Bucket>;
    static void addTo(Buckets &buckets, qint64 width, const Poll &poll);
    static void addOutside(Buckets &buckets, qint64 width, qint64 atMs, int ms);
    // The buckets that serve a span cut into columns this wide.
    const Buckets &bucketsFor(qint64 columnMs) const;
    void drop(qint64 atMs);

    // From a moment on, clock times count from what the wall clock read then.
    struct ClockMark
    {
        qint64 atMs;
        QDateTime wall;
    };
    std::deque<ClockMark> m_clock;
    Clock::time_point m_start;
    std::deque<Poll> m_polls; // the last hour in full
    Buckets m_seconds;        // the day, per second with anything in it
    Buckets m_minutes;        // the same per minute, for spans of more than an hour
    std::optional<Poll> m_last;
    std::optional<qint64> m_lastReadingAt;
    std::optional<qint64> m_missingSince;
    bool m_pollsDropped = false;  // m_polls no longer reaches back to the start
    std::optional<Grain> m_grain; // an excerpt's: that of the span it was taken for
};
