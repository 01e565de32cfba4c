#pragma once

#include <QByteArray>

#include <chrono>
#include <functional>

// What a simulated meter does about one request "1": sends the bytes after the delay, or nothing
// when the bytes are empty.
struct MeterAnswer
{
    QByteArray bytes;
    std::chrono::milliseconds delay{0};
};

// Gets the number of the request (from 0) and decides the answer.
using MeterResponder = std::function<MeterAnswer(int request)>;
