#include "history.h"

#include <algorithm>
#include <cstdlib>

namespace {

// A reading holds until the next poll; after a gap longer than this the time outside the band is
// not counted on (the program was stopped, or the machine slept).
constexpr qint64 kLongestHold = 1500;
constexpr qint64 kSecond = 1000;
constexpr qint64 kMinute = 60 * kSecond;

bool outsideBand(int centihertz)
{
    return centihertz < History::kBandLow || centihertz > History::kBandHigh;
}

} // namespace

void History::Stretch::add(Outcome outcome, int centihertz)
{
    if (outcome != Outcome::Reading) {
        ++gaps;
        stops += outcome == Outcome::Stop ? 1 : 0;
        return;
    }
    if (isWild(centihertz)) {
        wildLowest = wild ? std::min(wildLowest, centihertz) : centihertz;
        wildHighest = wild ? std::max(wildHighest, centihertz) : centihertz;
        ++wild;
        return;
    }
    lowest = readings ? std::min(lowest, centihertz) : centihertz;
    highest = readings ? std::max(highest, centihertz) : centihertz;
    sum += centihertz;
    ++readings;
}

void History::Stretch::add(const Stretch &other)
{
    if (other.readings) {
        lowest = readings ? std::min(lowest, other.lowest) : other.lowest;
        highest = readings ? std::max(highest, other.highest) : other.highest;
    }
    if (other.wild) {
        wildLowest = wild ? std::min(wildLowest, other.wildLowest) : other.wildLowest;
        wildHighest = wild ? std::max(wildHighest, other.wildHighest) : other.wildHighest;
    }
    wild += other.wild;
    readings += other.readings;
    sum += other.sum;
    gaps += other.gaps;
    stops += other.stops;
}

History::History(std::chrono::milliseconds started)
    : m_clock{{0, QDateTime::currentDateTime().addMSecs(-started.count())}},
      m_start(Clock::now() - started)
{}

void History::add(Outcome outcome, int centihertz)
{
    const qint64 at = now();
    noteClock(at, QDateTime::currentDateTime());
    add(at, outcome, centihertz);
}

void History::noteClock(qint64 atMs, const QDateTime &wall)
{
    if (std::abs(clockTime(atMs).msecsTo(wall)) <= kClockStepMs)
        return;
    m_clock.push_back({atMs, wall});
    // The wall clock is set rarely; a clock that jumps all day keeps no more than this.
    constexpr std::size_t kMarksAtMost = 1000;
    if (m_clock.size() > kMarksAtMost)
        m_clock.pop_front(); // the times before the next are then counted from it
}

QDateTime History::clockTime(qint64 atMs) const
{
    const auto after =
        std::upper_bound(m_clock.begin(), m_clock.end(), atMs,
                         [](qint64 at, const ClockMark &mark) { return at < mark.atMs; });
    const ClockMark &mark = after == m_clock.begin() ? m_clock.front() : *std::prev(after);
    return mark.wall.addMSecs(atMs - mark.atMs);
}

std::vector<qint64> History::clockSteps(qint64 fromMs, qint64 toMs) const
{
    std::vector<qint64> steps;
    for (const ClockMark &mark : m_clock) {
        if (mark.atMs > fromMs && mark.atMs < toMs)
            steps.push_back(mark.atMs);
    }
    return steps;
}

qint64 History::now() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start).count();
}

void History::addTo(Buckets &buckets, qint64 width, const Poll &poll)
{
    const qint64 start = poll.atMs / width * width;
    if (buckets.empty() || buckets.back().startMs != start)
        buckets.push_back({start, {}});
    Bucket &bucket = buckets.back();
    const Stretch before = bucket.stretch;
    bucket.stretch.add(poll.outcome, poll.centihertz);
    if (poll.outcome != Outcome::Reading)
        return;
    if (isWild(poll.centihertz))
        return;
    if (!before.readings || bucket.stretch.lowest < before.lowest)
        bucket.lowestAfterMs = int(poll.atMs - start);
    if (!before.readings || bucket.stretch.highest > before.highest)
        bucket.highestAfterMs = int(poll.atMs - start);
}

void History::addOutside(Buckets &buckets, qint64 width, qint64 atMs, int ms)
{
    const qint64 start = atMs / width * width;
    const auto held = std::find_if(buckets.rbegin(), buckets.rend(),
                                   [&](const Bucket &kept) { return kept.startMs <= start; });
    if (held != buckets.rend() && held->startMs == start)
        held->outsideBandMs += ms;
}

void History::add(qint64 atMs, Outcome outcome, int centihertz)
{
    // The reading before held until now: outside the band, that time counts where it began.
    if (m_last && m_last->outcome == Outcome::Reading && outsideBand(m_last->centihertz) &&
        !isWild(m_last->centihertz)) {
        const int held = int(std::min(atMs - m_last->atMs, kLongestHold));
        addOutside(m_seconds, kSecond, m_last->atMs, held);
        addOutside(m_minutes, kMinute, m_last->atMs, held);
    }
    const Poll poll{atMs, centihertz, outcome};
    m_polls.push_back(poll);
    addTo(m_seconds, kSecond, poll);
    addTo(m_minutes, kMinute, poll);
    if (outcome == Outcome::Reading) {
        m_lastReadingAt = atMs;
        m_missingSince.reset();
    } else if (outcome == Outcome::Miss && !m_missingSince) {
        m_missingSince = m_lastReadingAt.value_or(atMs);
    }
    m_last = poll;
    drop(atMs);
}

void History::drop(qint64 atMs)
{
    const qint64 inFull = std::chrono::milliseconds(kInFull).count();
    const qint64 kept = std::chrono::milliseconds(kKept).count();
    while (!m_polls.empty() && m_polls.front().atMs < atMs - inFull) {
        m_polls.pop_front();
        m_pollsDropped = true;
    }
    while (!m_seconds.empty() && m_seconds.front().startMs + kSecond < atMs - kept)
        m_seconds.pop_front();
    while (!m_minutes.empty() && m_minutes.front().startMs + kMinute < atMs - kept)
        m_minutes.pop_front();
    // A clock mark serves while a later one does not yet reach back to the oldest kept time.
    while (m_clock.size() > 1 && m_clock[1].atMs <= atMs - kept)
        m_clock.pop_front();
}

const History::Buckets &History::bucketsFor(qint64 columnMs) const
{
    return columnMs >= kMinute ? m_minutes : m_seconds;
}

std::vector<History::Stretch> History::columns(qint64 fromMs, qint64 toMs, int count) const
{
    std::vector<Stretch> columns(std::max(count, 0));
    if (count <= 0 || toMs <= fromMs)
        return columns;
    const auto column = [&](qint64 atMs) {
        return std::clamp(int((atMs - fromMs) * count / (toMs - fromMs)), 0, count - 1);
    };
    // Poll by poll while the span lies in the last hour, else by second or by minute.
    const bool inFull = !m_pollsDropped || m_polls.front().atMs <= fromMs;
    if (inFull) {
        auto poll = std::lower_bound(m_polls.begin(), m_polls.end(), fromMs,
                                     [](const Poll &kept, qint64 at) { return kept.atMs < at; });
        for (; poll != m_polls.end() && poll->atMs < toMs; ++poll)
            columns[column(poll->atMs)].add(poll->outcome, poll->centihertz);
        return columns;
    }
    const Buckets &buckets = bucketsFor((toMs - fromMs) / count);
    auto bucket = std::lower_bound(buckets.begin(), buckets.end(), fromMs,
                                   [](const Bucket &kept, qint64 at) { return kept.startMs < at; });
    for (; bucket != buckets.end() && bucket->startMs < toMs; ++bucket)
        columns[column(bucket->startMs)].add(bucket->stretch);
    return columns;
}

History::Figures History::figures(qint64 fromMs, qint64 toMs) const
{
    Figures figures;
    qint64 sum = 0;
    // By second within the hour, by minute beyond it.
    const Buckets &buckets =
        bucketsFor(toMs - fromMs > std::chrono::milliseconds(kInFull).count() ? kMinute : kSecond);
    auto bucket = std::lower_bound(buckets.begin(), buckets.end(), fromMs,
                                   [](const Bucket &kept, qint64 at) { return kept.startMs < at; });
    int gridReadings = 0;
    for (; bucket != buckets.end() && bucket->startMs < toMs; ++bucket) {
        const Stretch &stretch = bucket->stretch;
        figures.outsideBandMs += bucket->outsideBandMs;
        figures.misses += stretch.gaps - stretch.stops;
        if (stretch.wild) {
            figures.wildLowest = figures.wild ? std::min(figures.wildLowest, stretch.wildLowest)
                                              : stretch.wildLowest;
            figures.wildHighest = figures.wild ? std::max(figures.wildHighest, stretch.wildHighest)
                                               : stretch.wildHighest;
            figures.wild += stretch.wild;
        }
        if (!stretch.readings)
            continue;
        if (!figures.lowest || stretch.lowest < *figures.lowest) {
            figures.lowest = stretch.lowest;
            figures.lowestAt = bucket->startMs + bucket->lowestAfterMs;
        }
        if (!figures.highest || stretch.highest > *figures.highest) {
            figures.highest = stretch.highest;
            figures.highestAt = bucket->startMs + bucket->highestAfterMs;
        }
        gridReadings += stretch.readings;
        sum += stretch.sum;
    }
    figures.readings = gridReadings + figures.wild;
    if (gridReadings)
        figures.mean = double(sum) / gridReadings;
    return figures;
}

History::Grain History::grain(qint64 fromMs, qint64 toMs) const
{
    if (m_grain)
        return *m_grain;
    if (!m_pollsDropped || m_polls.front().atMs <= fromMs)
        return Grain::Poll;
    const qint64 oldest = m_seconds.empty() ? toMs : std::max(fromMs, m_seconds.front().startMs);
    constexpr qint64 kSecondsAtMost = 4 * 3600 * kSecond; // 14400 rows, as an hour at 0,25 s
    return toMs - oldest <= kSecondsAtMost ? Grain::Second : Grain::Minute;
}

void History::visitPolls(qint64 fromMs, qint64 toMs,
                         const std::function<void(qint64, Outcome, int)> &visit) const
{
    auto poll = std::lower_bound(m_polls.begin(), m_polls.end(), fromMs,
                                 [](const Poll &kept, qint64 at) { return kept.atMs < at; });
    for (; poll != m_polls.end() && poll->atMs < toMs; ++poll)
        visit(poll->atMs, poll->outcome, poll->centihertz);
}

void History::visitStretches(qint64 fromMs, qint64 toMs, Grain grain,
                             const std::function<void(qint64, const Stretch &)> &visit) const
{
    const Buckets &buckets = grain == Grain::Minute ? m_minutes : m_seconds;
    auto bucket = std::lower_bound(buckets.begin(), buckets.end(), fromMs,
                                   [](const Bucket &kept, qint64 at) { return kept.startMs < at; });
    for (; bucket != buckets.end() && bucket->startMs < toMs; ++bucket)
        visit(bucket->startMs, bucket->stretch);
}

History History::excerpt(qint64 fromMs, qint64 toMs) const
{
    History part;
    part.m_clock = m_clock;
    part.m_start = m_start;
    part.m_grain = grain(fromMs, toMs);
    const auto copy = [&](const auto &kept, auto &into, auto at) {
        const auto from =
            std::lower_bound(kept.begin(), kept.end(), fromMs,
                             [&](const auto &one, qint64 ms) { return at(one) < ms; });
        const auto to = std::lower_bound(from, kept.end(), toMs,
                                         [&](const auto &one, qint64 ms) { return at(one) < ms; });
        into.assign(from, to);
    };
    const auto pollAt = [](const Poll &poll) { return poll.atMs; };
    const auto bucketAt = [](const Bucket &bucket) { return bucket.startMs; };
    if (*part.m_grain == Grain::Poll)
        copy(m_polls, part.m_polls, pollAt);
    else
        copy(*part.m_grain == Grain::Second ? m_seconds : m_minutes,
             *part.m_grain == Grain::Second ? part.m_seconds : part.m_minutes, bucketAt);
    return part;
}

std::optional<History::Outcome> History::lastOutcome() const
{
    return m_last ? std::optional(m_last->outcome) : std::nullopt;
}

std::optional<int> History::lastReading() const
{
    return m_last && m_last->outcome == Outcome::Reading ? std::optional(m_last->centihertz)
                                                         : std::nullopt;
}

std::optional<qint64> History::noReadingSince() const
{
    return m_last && m_last->outcome == Outcome::Miss ? m_missingSince : std::nullopt;
}

std::size_t History::memoryBytes() const
{
    return m_polls.size() * sizeof(Poll) + (m_seconds.size() + m_minutes.size()) * sizeof(Bucket) +
           m_clock.size() * sizeof(ClockMark) + sizeof(*this);
}
