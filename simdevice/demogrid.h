#pragma once

#include "meteranswer.h"

#include <QRandomGenerator>

// The grid the demo's meter measures, as a 50 Hz grid behaves: the frequency drifts slowly within
// about ±0,10 Hz of 50 Hz, every few minutes an excursion (a plant tripping, a load coming on)
// takes it past 49,80 or 50,20 Hz and back within a minute, one excursion in twenty
// (every two hours or so) goes past 48 or 52 Hz for a few seconds, and about once a minute the
// meter is silent for seven polls, so that the misses and "00,00" can be seen. Time, not the number
// of polls, drives it: the grid is the same at any poll interval.
class DemoGrid
{
public:
    static constexpr int kSilentPolls = 7;

    explicit DemoGrid(quint32 seed = QRandomGenerator::global()->generate());

    // The meter's answer to a request at that time, in ms from any fixed start.
    MeterAnswer answer(qint64 atMs);
    // The frequency the meter measures at that time, in hertz.
    double hertz(qint64 atMs);

private:
    void advanceTo(qint64 atMs);
    void startExcursion(double rareChance);

    QRandomGenerator m_random;
    qint64 m_atMs = -1;
    double m_drift = 0.0; // hertz off 50, slowly wandering
    // The excursion under way: its depth, when it began, how fast it falls, how long it holds
    // and how fast it comes back.
    double m_depth = 0.0;
    qint64 m_excursionAtMs = 0;
    double m_fallMs = 1.0, m_holdMs = 0.0, m_recoverMs = 1.0;
    qint64 m_nextExcursionAtMs = 0;
    qint64 m_nextSilenceAtMs = 0;
    int m_silentLeft = 0;
};
