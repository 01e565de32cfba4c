#include "missreport.h"

#include <algorithm>

std::optional<MissReport::Line> MissReport::pollEnded(const MissCause &cause, Clock::time_point now)
{
    const bool missed = cause.kind() != MissCause::None;
    m_missed.push_back(missed);
    if (m_missed.size() > kWindow)
        m_missed.pop_front();

    if (!missed) {
        ++m_readingsInARow;
        if (!m_telling || m_readingsInARow < kWindow)
            return std::nullopt;
        m_telling = false;
        m_intermittent = false;
        m_patternSaidAt.reset();
        return Line{u"readings again"_qs, true};
    }

    const bool afterAReading = m_readingsInARow > 0;
    m_readingsInARow = 0;
    const bool changed = !(cause == m_cause);
    m_cause = cause;
    if (!m_telling) {
        m_telling = true;
        return Line{u"polls miss: "_qs + cause.logLine()};
    }
    if (afterAReading || m_intermittent) {
        m_intermittent = true;
        if (m_patternSaidAt && now - *m_patternSaidAt < kPatternRepeat)
            return std::nullopt;
        m_patternSaidAt = now;
        return Line{u"polls miss now and then: "_qs + pattern(cause.logLine())};
    }
    if (!changed)
        return std::nullopt;
    return Line{u"polls miss: "_qs + cause.logLine()};
}

QString MissReport::boxLine() const
{
    if (!m_telling)
        return {};
    if (m_intermittent || m_readingsInARow > 0)
        return pattern(m_cause.text());
    return m_cause.text();
}

QString MissReport::pattern(const QString &causeText) const
{
    const auto misses = std::count(m_missed.begin(), m_missed.end(), true);
    return tr("%1 of the last %2 polls missed: %3").arg(misses).arg(m_missed.size()).arg(causeText);
}
