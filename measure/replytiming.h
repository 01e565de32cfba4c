#pragma once

#include <chrono>
#include <deque>
#include <optional>

// When the meter's replies come, against the requests they answer: tells a meter that keeps
// answering after the deadline (its replies found waiting when the next poll opens the port, or
// arriving at the deadline) and about how long it takes. Each reply answers the oldest request
// not yet answered of the last two polls, or after a silence the latest.
class ReplyTiming
{
public:
    using Clock = std::chrono::steady_clock;
    // Late replies in this many polls make a slow meter; the polls looked back on.
    static constexpr int kLatePolls = 2;
    static constexpr int kWindow = 10;

    void requestSent(Clock::time_point at);
    // A reply seen by a poll's wait, at that moment.
    void replySeen(Clock::time_point at);
    // A reply found waiting at open: it came between the last poll's close and this open.
    void replyFoundAtOpen(Clock::time_point closedAt, Clock::time_point openedAt);
    // The poll is over; late: a reply of it came at its deadline or after the port was closed.
    void pollEnded(bool late);

    // Whether late replies keep coming.
    bool meterIsSlow() const;
    // About how long the meter takes to answer, in ms rounded to 50: the median of the latest.
    std::optional<int> answerMs() const;

private:
    void answered(Clock::duration after);

    std::deque<Clock::time_point> m_unanswered;
    std::deque<Clock::duration> m_answers;
    std::deque<bool> m_late;
    bool m_heard = false;  // a reply was matched to a request during the current poll
    int m_silentPolls = 0; // polls in a row that heard nothing of the meter
};
