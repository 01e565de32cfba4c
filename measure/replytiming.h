#pragma once

#include <chrono>
#include <deque>
#include <optional>

// When the meter's replies come, against the requests they answer: tells a meter that keeps
// answering after the deadline (its replies found waiting when the next poll opens the port, or
// arriving at the deadline) and how long it takes. A reply is known only to have come within a
// span: the moment a poll's wait saw it, or the time the port was closed before the open that
// found it waiting. It is matched to its own request by the delay the meter has shown so far; with
// none known yet (at start, after a change), to the oldest request whose delay the earlier polls
// do not rule out: a meter of that delay would have made a reply of the request before it come
// while a poll watched and heard nothing.
class ReplyTiming
{
public:
    using Clock = std::chrono::steady_clock;
    // Late replies in this many polls make a slow meter; the polls looked back on.
    static constexpr int kLatePolls = 2;
    static constexpr int kWindow = 10;

    // What is known of the meter's time to answer: about ms, or only that it is later than ms
    // (replies found at open after a long interval, when the poll cannot see when they came).
    struct Answer
    {
        int ms = 0;
        bool later = false;
        bool operator==(const Answer &) const = default;
    };

    // The port opened; replyWaiting: a reply came while it was closed.
    void portOpened(Clock::time_point at, bool replyWaiting);
    void requestSent(Clock::time_point at);
    // A reply seen by a poll's wait, at that moment.
    void replySeen(Clock::time_point at);
    // The poll is over; late: a reply of it came at its deadline or after the port was closed.
    void pollEnded(bool late);
    void portClosed(Clock::time_point at);

    // Whether late replies keep coming.
    bool meterIsSlow() const;
    // The meter's time to answer, when a reply was matched to its request; a figure only where it
    // is known to within a fifth, rounded to 50 ms.
    std::optional<Answer> answer() const;

private:
    struct Span
    {
        Clock::duration from;
        Clock::duration to;
    };
    struct Watch // a time the poll would have heard a reply
    {
        Clock::time_point from;
        Clock::time_point to;
        bool heard = false;
    };
    void replyWithin(Clock::time_point from, Clock::time_point to);
    bool ruledOut(std::size_t request, const Span &delay) const;

    std::deque<Clock::time_point> m_requests; // the latest, newest last
    std::deque<bool> m_repliedTo;             // beside m_requests: a reply was matched to it
    std::size_t m_answered = 0;               // of m_requests, the oldest ones answered or passed
    std::deque<Watch> m_watches;
    std::optional<Span> m_delay; // what the latest replies agree on
    std::deque<Span> m_answers;  // the latest replies' delays
    std::optional<Clock::time_point> m_closedAt;
    std::optional<Clock::time_point> m_sentAt;
    bool m_heard = false; // the current poll's wait saw a reply
    std::deque<bool> m_late;
};
