#pragma once
// The 32-bit millisecond tick counter: it wraps, so every age is the unsigned
// 32-bit difference of now minus then.
#include <QtGlobal>

#include <chrono>

inline quint32 GetTickCount32()
{
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

inline quint32 TicksSince(quint32 then, quint32 now)
{
    return quint32(now - then);
}
