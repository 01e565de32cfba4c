#include "history.h"

#include <algorithm>

namespace {

// A reading holds until the next poll; after a gap longer than this the time outside the band is
// not counted on (the program was stopped, or the machine slept).
constexpr qint64 kLongestHold = 1500;
constexpr qint64 kSecond = 1000;

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
    readings += other.readings;
    sum += other.sum;
    gaps += other.gaps;
    stops += other.stops;
}

History::History(std::chrono::milliseconds started)
    : m_started(QDateTime::currentDateTime().addMSecs(-started.count())),
      m_start(Clock::now() - started)
{}

qint64 History::now() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start).count();
}

void History::add(qint64 atMs, Outcome outcome, int centihertz)
{
    // The reading before held until now: outside the band, that time counts where it began.
    if (m_last && m_last->outcome == Outcome::Reading && outsideBand(m_last->centihertz)) {
        const qint64 second = m_last->atMs / kSecond;
        const auto held = std::find_if(m_seconds.rbegin(), m_seconds.rend(),
                                       [&](const Second &kept) { return kept.second <= second; });
        if (held != m_seconds.rend() && held->second == second)
            held->outsideBandMs += int(std::min(atMs - m_last->atMs, kLongestHold));
    }
    const Poll poll{atMs, centihertz, outcome};
    m_polls.push_back(poll);
    const qint64 second = atMs / kSecond;
    if (m_seconds.empty() || m_seconds.back().second != second)
        m_seconds.push_back({second, {}});
    m_seconds.back().stretch.add(outcome, centihertz);
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
    while (!m_seconds.empty() && (m_seconds.front().second + 1) * kSecond < atMs - kept)
        m_seconds.pop_front();
}

std::vector<History::Stretch> History::columns(qint64 fromMs, qint64 toMs, int count) const
{
    std::vector<Stretch> columns(std::max(count, 0));
    if (count <= 0 || toMs <= fromMs)
        return columns;
    const auto column = [&](qint64 atMs) {
        return std::clamp(int((atMs - fromMs) * count / (toMs - fromMs)), 0, count - 1);
    };
    // Poll by poll while the span lies in the last hour, else second by second.
    const bool inFull = !m_pollsDropped || m_polls.front().atMs <= fromMs;
    if (inFull) {
        auto poll = std::lower_bound(m_polls.begin(), m_polls.end(), fromMs,
                                     [](const Poll &kept, qint64 at) { return kept.atMs < at; });
        for (; poll != m_polls.end() && poll->atMs < toMs; ++poll)
            columns[column(poll->atMs)].add(poll->outcome, poll->centihertz);
        return columns;
    }
    auto second = std::lower_bound(
        m_seconds.begin(), m_seconds.end(), fromMs / kSecond,
        [](const Second &kept, qint64 wanted) { return kept.second < wanted; });
    for (; second != m_seconds.end() && second->second * kSecond < toMs; ++second)
        columns[column(second->second * kSecond)].add(second->stretch);
    return columns;
}

History::Figures History::figures(qint64 fromMs, qint64 toMs) const
{
    Figures figures;
    qint64 sum = 0;
    auto second = std::lower_bound(
        m_seconds.begin(), m_seconds.end(), fromMs / kSecond,
        [](const Second &kept, qint64 wanted) { return kept.second < wanted; });
    for (; second != m_seconds.end() && second->second * kSecond < toMs; ++second) {
        const Stretch &stretch = second->stretch;
        figures.outsideBandMs += second->outsideBandMs;
        figures.misses += stretch.gaps - stretch.stops;
        if (!stretch.readings)
            continue;
        if (!figures.lowest || stretch.lowest < *figures.lowest) {
            figures.lowest = stretch.lowest;
            figures.lowestAt = second->second * kSecond;
        }
        if (!figures.highest || stretch.highest > *figures.highest) {
            figures.highest = stretch.highest;
            figures.highestAt = second->second * kSecond;
        }
        figures.readings += stretch.readings;
        sum += stretch.sum;
    }
    if (figures.readings)
        figures.mean = double(sum) / figures.readings;
    return figures;
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
    return m_polls.size() * sizeof(Poll) + m_seconds.size() * sizeof(Second) + sizeof(*this);
}
