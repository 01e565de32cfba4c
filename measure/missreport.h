#pragma once

#include "misscause.h"

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <deque>
#include <optional>

// What the misses box and the error output say about the polls' misses. A cause that has held for
// every poll since it began is said at once; when misses and readings alternate, the pattern is
// said with counts, at most once a minute while it lasts, until one cause has missed ten polls in
// a row, which is then said as a steady cause; "readings again" once readings have held for ten
// polls in a row. Never a line a poll. A slow meter shows first as no reply, then as replies
// within a shorter deadline or late, while its time is learned: after the first word, other words
// on the meter's timing are said once two misses in a row have them, and a slow meter once.
class MissReport
{
    Q_DECLARE_TR_FUNCTIONS(MissReport)

public:
    using Clock = std::chrono::steady_clock;
    // The polls looked back on, and the readings in a row that end a fault.
    static constexpr int kWindow = 10;
    static constexpr std::chrono::minutes kPatternRepeat{1};

    struct Line
    {
        QString text;
        bool recovered = false; // readings again, rather than a fault
    };

    // One poll's outcome: a miss and its cause, or a reading (a cause of kind None). Returns the
    // line for the error output, if one is due.
    std::optional<Line> pollEnded(const MissCause &cause, Clock::time_point now);
    // The misses box's line: empty while polls are read.
    QString boxLine() const;

    // Quiet: readings. Steady: every poll since the cause began missed. Mixed: misses and readings
    // alternate.
    enum class State { Quiet, Steady, Mixed };
    // A reading, the reading that makes ten in a row; a miss of the cause the last miss had, the
    // miss of that cause that makes ten in a row, a miss of another cause of a kind seen in the
    // last ten polls, or of a kind not seen there. After a first word on the meter's timing (no
    // reply, a late reply, a slow meter), while its figures settle: a miss whose words the last
    // miss did not have, a slow meter's second miss in a row with one figure, and a slow meter's
    // miss once one was said, whatever its figure.
    enum class Event {
        Reading,
        ReadingsHeld,
        SameCause,
        CauseHeld,
        OtherCause,
        NewCause,
        Settling,
        SlowSettled,
        SlowAgain
    };
    enum class Say { Nothing, Cause, Pattern, ReadingsAgain };

private:
    Event classify(const MissCause &cause) const;
    QString pattern(const QString &causeText) const;

    std::deque<MissCause> m_polls; // the last kWindow polls' causes, newest last
    MissCause m_cause;             // the latest miss's
    MissCause m_said;              // the latest said, since readings held
    State m_state = State::Quiet;
    int m_readingsInARow = 0;
    int m_causeInARow = 0; // misses of m_cause in a row
    std::optional<Clock::time_point> m_patternSaidAt;
};
