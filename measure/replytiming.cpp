#include "replytiming.h"

#include <algorithm>
#include <vector>

namespace {

// A reply reaches the program only while a poll holds the port: it answers the request of the poll
// it arrives in or, found at open or late in the wait, the one before. Older requests are lost.
constexpr std::size_t kAnswerable = 2;
constexpr int kRoundTo = 50;
constexpr int kSilence = 2;

template <typename T> void keepLast(std::deque<T> &values, std::size_t count)
{
    while (values.size() > count)
        values.pop_front();
}

} // namespace

void ReplyTiming::requestSent(Clock::time_point at)
{
    m_unanswered.push_back(at);
    keepLast(m_unanswered, kAnswerable);
}

void ReplyTiming::replySeen(Clock::time_point at)
{
    if (m_unanswered.empty())
        return;
    answered(at - m_unanswered.front());
}

void ReplyTiming::replyFoundAtOpen(Clock::time_point closedAt, Clock::time_point openedAt)
{
    if (m_unanswered.empty())
        return;
    // Somewhere between the two: the middle.
    answered(closedAt + (openedAt - closedAt) / 2 - m_unanswered.front());
}

void ReplyTiming::answered(Clock::duration after)
{
    m_heard = true;
    // A slow meter answers every request, a poll late at most, so it never leaves two polls in a
    // row without a sound. After such a silence the meter is back, and this reply answers the
    // latest request: taken for an older one's, every later reply would be timed from the request
    // before its own.
    if (m_silentPolls >= kSilence)
        keepLast(m_unanswered, 1);
    m_unanswered.pop_front();
    m_answers.push_back(after);
    keepLast(m_answers, kWindow);
}

void ReplyTiming::pollEnded(bool late)
{
    m_silentPolls = m_heard || late ? 0 : m_silentPolls + 1;
    m_heard = false;
    m_late.push_back(late);
    keepLast(m_late, kWindow);
}

bool ReplyTiming::meterIsSlow() const
{
    return std::count(m_late.begin(), m_late.end(), true) >= kLatePolls;
}

std::optional<int> ReplyTiming::answerMs() const
{
    if (m_answers.empty())
        return std::nullopt;
    std::vector<Clock::duration> sorted(m_answers.begin(), m_answers.end());
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(sorted[sorted.size() / 2]).count();
    return int((ms + kRoundTo / 2) / kRoundTo * kRoundTo);
}
