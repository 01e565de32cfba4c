#pragma once

#include "meteranswer.h"

// What a test or a tool does to a simulated meter, on whichever line it is: a pseudo-terminal's far
// side or the simulated line inside the program. Both tell of each request and answer with
// requestReceived(int) and answered(int).
class SimulatedMeter
{
public:
    virtual ~SimulatedMeter() = default;

    virtual void setResponder(MeterResponder responder) = 0;
    // Every request answered with the same bytes after the same delay.
    void setAnswer(const QByteArray &bytes, std::chrono::milliseconds delay = {})
    {
        setResponder([bytes, delay](int) { return MeterAnswer{bytes, delay}; });
    }
    void setSilent() { setAnswer({}); }
    virtual int requestCount() const = 0;
    // Pulled: answers on their way are lost; the line's user sees the device vanish.
    virtual void unplug() = 0;
};
