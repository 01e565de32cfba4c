#include "replytiming.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::chrono::seconds kLost{2};
constexpr int kRoundTo = 50;

template <typename T> void keepLast(std::deque<T> &values, std::size_t count)
{
    while (values.size() > count)
        values.pop_front();
}

} // namespace

void ReplyTiming::requestSent(Clock::time_point at)
{
    while (!m_unanswered.empty() && at - m_unanswered.front() > kLost)
        m_unanswered.pop_front();
    m_unanswered.push_back(at);
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
    m_unanswered.pop_front();
    m_answers.push_back(after);
    keepLast(m_answers, kWindow);
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
