#include "demogrid.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

// The drift: pulled back to 50 Hz with a time constant of a minute, its spread about 0,04 Hz.
constexpr double kDriftSeconds = 60.0;
constexpr double kDriftSpread = 0.04;
// Excursions come every 3 to 9 minutes; one in twenty goes past 48 or 52 Hz.
constexpr qint64 kExcursionsFromMs = 3 * 60'000, kExcursionsToMs = 9 * 60'000;
constexpr double kRareChance = 0.05;
// A silence of seven polls every 50 to 70 s.
constexpr qint64 kSilencesFromMs = 50'000, kSilencesToMs = 70'000;

} // namespace

DemoGrid::DemoGrid(quint32 seed) : m_random(seed)
{
    m_nextExcursionAtMs = m_random.bounded(kExcursionsFromMs / 3, kExcursionsToMs / 3);
    m_nextSilenceAtMs = m_random.bounded(kSilencesFromMs / 2, kSilencesToMs / 2);
}

void DemoGrid::startExcursion(double rareChance)
{
    const double sign = m_random.bounded(2) ? 1.0 : -1.0;
    if (m_random.generateDouble() < rareChance) {
        // Past 48 or 52 Hz, briefly: the readings are shown and never reach freq.text.
        m_depth = sign * (2.1 + 0.3 * m_random.generateDouble());
        m_fallMs = 500;
        m_holdMs = 1'000 + 3'000 * m_random.generateDouble();
        m_recoverMs = 1'000;
    } else {
        m_depth = sign * (0.24 + 0.12 * m_random.generateDouble());
        m_fallMs = 2'000 + 4'000 * m_random.generateDouble();
        m_holdMs = 5'000 + 20'000 * m_random.generateDouble();
        m_recoverMs = 5'000 + 5'000 * m_random.generateDouble();
    }
    m_excursionAtMs = m_atMs;
}

void DemoGrid::advanceTo(qint64 atMs)
{
    if (m_atMs < 0)
        m_atMs = atMs;
    const double seconds = std::clamp(double(atMs - m_atMs) / 1000.0, 0.0, 60.0);
    m_atMs = atMs;
    // An Ornstein-Uhlenbeck step: exact for any step, so the spread is the same at any interval.
    const double keep = std::exp(-seconds / kDriftSeconds);
    const double normal = std::sqrt(-2.0 * std::log(1.0 - m_random.generateDouble())) *
                          std::cos(2.0 * M_PI * m_random.generateDouble());
    m_drift = m_drift * keep + kDriftSpread * std::sqrt(1.0 - keep * keep) * normal;
    if (atMs >= m_nextExcursionAtMs) {
        startExcursion(kRareChance);
        m_nextExcursionAtMs = atMs + m_random.bounded(kExcursionsFromMs, kExcursionsToMs);
    }
}

double DemoGrid::hertz(qint64 atMs)
{
    advanceTo(atMs);
    // The excursion falls to its depth, holds, then comes back exponentially: within a
    // minute it is back within a few hundredths of where the drift is.
    const double since = double(atMs - m_excursionAtMs);
    double excursion = 0.0;
    if (m_depth != 0.0) {
        if (since < m_fallMs)
            excursion = m_depth * since / m_fallMs;
        else if (since < m_fallMs + m_holdMs)
            excursion = m_depth;
        else
            excursion = m_depth * std::exp(-(since - m_fallMs - m_holdMs) / m_recoverMs);
        if (since > m_fallMs + m_holdMs + 4 * m_recoverMs)
            m_depth = 0.0;
    }
    return 50.0 + m_drift + excursion;
}

MeterAnswer DemoGrid::answer(qint64 atMs)
{
    const double shown = hertz(atMs);
    if (m_silentLeft == 0 && atMs >= m_nextSilenceAtMs) {
        m_silentLeft = kSilentPolls;
        m_nextSilenceAtMs = atMs + m_random.bounded(kSilencesFromMs, kSilencesToMs);
    }
    if (m_silentLeft > 0) {
        --m_silentLeft;
        return {};
    }
    // r is the half-period in microseconds: f = 1,000,000 / (2r).
    const double r = 1'000'000.0 / (2.0 * shown);
    return {QByteArray::number(qRound(r)).rightJustified(5, '0') + "\r\n",
            std::chrono::milliseconds(20 + m_random.bounded(40))};
}
