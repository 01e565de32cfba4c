#pragma once

#include <QEventLoop>
#include <QString>
#include <QtGlobal>

// What the poll cycle needs of the window: its fields, the watchdog timer and one event pass.
class Panel
{
public:
    // The fields whose texts carry state, by the window's control names.
    enum class Field { d_frekuensi, Text3, indikator, Text1 };

    // Colours as 0x00BBGGRR: blue in the high byte, red in the low byte.
    static constexpr quint32 kBlue = 0xFF0000;
    static constexpr quint32 kLightBlue = 0xFFC0C0;

    virtual ~Panel() = default;

    // The text as the field shows it now.
    virtual QString text(Field field) const = 0;
    virtual void setText(Field field, const QString &text) = 0;
    virtual void setBackground(Field field, quint32 bgr) = 0;
    // Enabling starts a fresh 100 ms watchdog period.
    virtual void setWatchdogEnabled(bool enabled) = 0;
    // One short line on why the polls miss, or on why freq.text is not kept current; empty once
    // that is over. Shown where the misses box and the reading explain themselves.
    virtual void setMissCause(const QString &line) = 0;
    virtual void setFileProblem(const QString &line) = 0;
    // One pass over the pending events; with WaitForMoreEvents it sleeps until one arrives.
    virtual void processEvents(QEventLoop::ProcessEventsFlags flags) = 0;
};
