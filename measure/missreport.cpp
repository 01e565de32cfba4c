#include "missreport.h"

#include <algorithm>
#include <array>

namespace {

using State = MissReport::State;
using Event = MissReport::Event;
using Say = MissReport::Say;

struct Rule
{
    State from;
    Event on;
    State to;
    Say say;
};

// Every pair of state and event; a pattern is said at most once a minute, counted from the first
// after readings had held.
constexpr std::array kRules{
    Rule{State::Quiet, Event::Reading, State::Quiet, Say::Nothing},
    Rule{State::Quiet, Event::ReadingsHeld, State::Quiet, Say::Nothing},
    Rule{State::Quiet, Event::SameCause, State::Steady, Say::Cause},
    Rule{State::Quiet, Event::CauseHeld, State::Steady, Say::Cause},
    Rule{State::Quiet, Event::OtherCause, State::Steady, Say::Cause},
    Rule{State::Quiet, Event::NewCause, State::Steady, Say::Cause},
    // Every poll misses: a change of words is said.
    Rule{State::Steady, Event::SameCause, State::Steady, Say::Nothing},
    Rule{State::Steady, Event::CauseHeld, State::Steady, Say::Nothing},
    Rule{State::Steady, Event::OtherCause, State::Steady, Say::Cause},
    Rule{State::Steady, Event::NewCause, State::Steady, Say::Cause},
    Rule{State::Steady, Event::Reading, State::Mixed, Say::Nothing},
    Rule{State::Steady, Event::ReadingsHeld, State::Quiet, Say::ReadingsAgain},
    // Misses and readings alternate: the pattern, until a cause not seen lately (a pulled adapter
    // in a flaky spell) holds, which is said at once, or one cause misses ten polls in a row (the
    // meter died after a flaky spell), which is no longer now and then.
    Rule{State::Mixed, Event::SameCause, State::Mixed, Say::Pattern},
    Rule{State::Mixed, Event::CauseHeld, State::Steady, Say::Cause},
    Rule{State::Mixed, Event::OtherCause, State::Mixed, Say::Pattern},
    Rule{State::Mixed, Event::NewCause, State::Steady, Say::Cause},
    Rule{State::Mixed, Event::Reading, State::Mixed, Say::Nothing},
    Rule{State::Mixed, Event::ReadingsHeld, State::Quiet, Say::ReadingsAgain},
    // The meter's timing, after the first word: nothing until its words hold, a slow meter's at
    // its second miss in a row and once only. Its replies alternate with misses by its nature, so
    // no pattern follows; a change of its figure is not news either. From Quiet every miss is a
    // first word.
    Rule{State::Quiet, Event::Settling, State::Steady, Say::Cause},
    Rule{State::Quiet, Event::SlowSettled, State::Steady, Say::Cause},
    Rule{State::Quiet, Event::SlowAgain, State::Steady, Say::Cause},
    Rule{State::Steady, Event::Settling, State::Steady, Say::Nothing},
    Rule{State::Steady, Event::SlowSettled, State::Steady, Say::Cause},
    Rule{State::Steady, Event::SlowAgain, State::Steady, Say::Nothing},
    Rule{State::Mixed, Event::Settling, State::Mixed, Say::Nothing},
    Rule{State::Mixed, Event::SlowSettled, State::Steady, Say::Cause},
    Rule{State::Mixed, Event::SlowAgain, State::Mixed, Say::Nothing},
};

// Why a poll heard nothing in time: told by how the meter answers, and learned over polls.
bool isTiming(MissCause::Kind kind)
{
    return kind == MissCause::NoReply || kind == MissCause::NoReplyLater ||
           kind == MissCause::NoReplyOwnUsb || kind == MissCause::LateReply ||
           kind == MissCause::SlowMeter || kind == MissCause::SlowMeterLater;
}

bool isSlow(MissCause::Kind kind)
{
    return kind == MissCause::SlowMeter || kind == MissCause::SlowMeterLater;
}

} // namespace

MissReport::Event MissReport::classify(const MissCause &cause) const
{
    if (cause.kind() == MissCause::None)
        return m_readingsInARow + 1 == kWindow ? Event::ReadingsHeld : Event::Reading;
    if (m_state != State::Quiet && isTiming(m_said.kind()) && isTiming(cause.kind())) {
        if (isSlow(cause.kind()))
            return isSlow(m_said.kind()) ? Event::SlowAgain
                   : cause == m_cause    ? Event::SlowSettled
                                         : Event::Settling;
        if (cause == m_said)
            return cause == m_cause && m_causeInARow + 1 == kWindow ? Event::CauseHeld
                                                                    : Event::SameCause;
        // Words not said yet, once the last miss had them too. While misses and readings
        // alternate the meter answers, only later than the deadline: what changes its words then
        // (a carried tick's shorter deadline, what the line kept) is no news; its settled figure is.
        if (m_state == State::Mixed)
            return Event::Settling;
        return cause == m_cause ? Event::OtherCause : Event::Settling;
    }
    if (cause == m_cause)
        return m_causeInARow + 1 == kWindow ? Event::CauseHeld : Event::SameCause;
    const bool kindSeen = std::any_of(m_polls.begin(), m_polls.end(), [&](const MissCause &seen) {
        return seen.kind() == cause.kind();
    });
    return kindSeen ? Event::OtherCause : Event::NewCause;
}

std::optional<MissReport::Line> MissReport::pollEnded(const MissCause &cause, Clock::time_point now)
{
    const Event event = classify(cause);
    const Rule &rule = *std::find_if(kRules.begin(), kRules.end(), [&](const Rule &rule) {
        return rule.from == m_state && rule.on == event;
    });

    m_polls.push_back(cause);
    if (m_polls.size() > kWindow)
        m_polls.pop_front();
    m_readingsInARow =
        cause.kind() == MissCause::None ? std::min(m_readingsInARow + 1, int(kWindow)) : 0;
    m_causeInARow = cause.kind() == MissCause::None ? 0
                    : cause == m_cause              ? std::min(m_causeInARow + 1, int(kWindow))
                                                    : 1;
    if (cause.kind() != MissCause::None)
        m_cause = cause;
    m_state = rule.to;

    switch (rule.say) {
    case Say::Nothing:
        return std::nullopt;
    case Say::Cause:
        m_said = cause;
        return Line{u"polls miss: "_qs + cause.logLine()};
    case Say::Pattern:
        if (m_patternSaidAt && now - *m_patternSaidAt < kPatternRepeat)
            return std::nullopt;
        m_patternSaidAt = now;
        m_said = cause;
        return Line{u"polls miss now and then: "_qs + pattern(cause.logLine())};
    case Say::ReadingsAgain:
        m_said = MissCause();
        m_patternSaidAt.reset();
        return Line{u"readings again"_qs, true};
    }
    return std::nullopt;
}

QString MissReport::boxLine() const
{
    switch (m_state) {
    case State::Quiet:
        return {};
    case State::Steady:
        return m_cause.text();
    case State::Mixed:
        return pattern(m_cause.text());
    }
    return {};
}

QString MissReport::pattern(const QString &causeText) const
{
    const auto misses = std::count_if(m_polls.begin(), m_polls.end(), [](const MissCause &cause) {
        return cause.kind() != MissCause::None;
    });
    return tr("%1 of the last %2 polls missed: %3").arg(misses).arg(m_polls.size()).arg(causeText);
}
