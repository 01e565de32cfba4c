#include "replytiming.h"

#include <algorithm>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A meter answering within four polls' time (one second at 0,25 s) is matched to its request;
// one request more is kept, for what the oldest of those rules out.
constexpr std::size_t kCandidates = 5;
constexpr std::size_t kRequestsKept = kCandidates + 1;
constexpr std::size_t kWatchesKept = 12;
// Replies of one meter come this much earlier or later than each other, by the event loop's timing.
constexpr auto kJitter = 20ms;
constexpr int kRoundTo = 50;

template <typename T> void keepLast(std::deque<T> &values, std::size_t count)
{
    while (values.size() > count)
        values.pop_front();
}

int milliseconds(std::chrono::steady_clock::duration duration)
{
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
}

} // namespace

void ReplyTiming::portOpened(Clock::time_point at, bool replyWaiting)
{
    if (!m_closedAt)
        return;
    m_watches.push_back({*m_closedAt, at, replyWaiting});
    keepLast(m_watches, kWatchesKept);
    if (replyWaiting)
        replyWithin(*m_closedAt, at);
}

void ReplyTiming::requestSent(Clock::time_point at)
{
    m_requests.push_back(at);
    m_repliedTo.push_back(false);
    if (m_requests.size() > kRequestsKept) {
        m_requests.pop_front();
        m_repliedTo.pop_front();
        m_answered = m_answered > 0 ? m_answered - 1 : 0;
    }
    m_sentAt = at;
}

void ReplyTiming::replySeen(Clock::time_point at)
{
    m_heard = true;
    replyWithin(at, at);
}

void ReplyTiming::portClosed(Clock::time_point at)
{
    if (m_sentAt) {
        m_watches.push_back({*m_sentAt, at, m_heard});
        keepLast(m_watches, kWatchesKept);
    }
    m_closedAt = at;
    m_sentAt.reset();
    m_heard = false;
}

void ReplyTiming::replyWithin(Clock::time_point from, Clock::time_point to)
{
    // The requests not yet answered that the reply may answer, oldest first, with the delay each
    // would mean.
    std::optional<std::size_t> chosen;
    std::optional<std::size_t> latest;
    const auto delayFor = [&](std::size_t request) {
        return Span{std::max(from - m_requests[request], Clock::duration::zero()),
                    to - m_requests[request]};
    };
    const std::size_t first =
        std::max(m_answered, m_requests.size() > kCandidates ? m_requests.size() - kCandidates : 0);
    for (std::size_t request = first; request < m_requests.size(); ++request) {
        if (to < m_requests[request])
            break;
        latest = request;
        const Span delay = delayFor(request);
        if (m_delay && delay.from <= m_delay->to + kJitter && m_delay->from - kJitter <= delay.to) {
            chosen = request;
            break;
        }
    }
    // No delay known, or the meter changed: the oldest request that the polls do not rule out,
    // else (a meter back after a silence, answering at once) the latest.
    for (std::size_t request = first; !chosen && latest && request <= *latest; ++request) {
        if (!ruledOut(request, delayFor(request)))
            chosen = request;
    }
    if (!latest)
        return;
    const std::size_t request = chosen.value_or(*latest);
    const Span delay = delayFor(request);
    const bool agrees =
        m_delay && delay.from <= m_delay->to + kJitter && m_delay->from - kJitter <= delay.to;
    // What the replies so far have in common, when this one agrees with them.
    m_delay =
        agrees ? Span{std::max(delay.from, m_delay->from), std::min(delay.to, m_delay->to)} : delay;
    if (m_delay->from > m_delay->to)
        m_delay = delay;
    m_answered = request + 1;
    m_repliedTo[request] = true;
    m_answers.push_back(delay);
    keepLast(m_answers, kWindow);
}

bool ReplyTiming::ruledOut(std::size_t request, const Span &delay) const
{
    // The first request of all, or one after a request whose reply came (a meter that changed).
    if (request == 0 || m_repliedTo[request - 1])
        return false;
    // The request before, answered after the same delay, had its reply come while a poll watched
    // and heard nothing.
    const Clock::time_point middle =
        m_requests[request - 1] + delay.from + (delay.to - delay.from) / 2;
    return std::any_of(m_watches.begin(), m_watches.end(), [&](const Watch &watch) {
        return !watch.heard && watch.from <= middle && middle <= watch.to;
    });
}

void ReplyTiming::pollEnded(bool late)
{
    m_late.push_back(late);
    keepLast(m_late, kWindow);
}

bool ReplyTiming::meterIsSlow() const
{
    return std::count(m_late.begin(), m_late.end(), true) >= kLatePolls;
}

std::optional<ReplyTiming::Answer> ReplyTiming::answer() const
{
    if (m_answers.empty())
        return std::nullopt;
    // A span's middle is within a fifth of the real time when the span is narrow enough. The
    // median of the latest narrow ones, by their middle: one reply held up by a busy machine moves
    // neither the figure nor the words. Without one, only what the meter is later than.
    std::vector<int> middles;
    std::vector<int> froms;
    for (const Span &span : m_answers) {
        const int from = milliseconds(span.from);
        const int to = milliseconds(span.to);
        froms.push_back(from);
        if ((to - from) * 5 <= from * 2)
            middles.push_back((from + to) / 2);
    }
    std::vector<int> &chosen = middles.empty() ? froms : middles;
    std::nth_element(chosen.begin(), chosen.begin() + chosen.size() / 2, chosen.end());
    const int ms = chosen[chosen.size() / 2];
    if (middles.empty())
        return Answer{ms / kRoundTo * kRoundTo, true};
    return Answer{(ms + kRoundTo / 2) / kRoundTo * kRoundTo, false};
}
