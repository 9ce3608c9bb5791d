#pragma once

#include <QList>

#include <algorithm>
#include <ctime>

// How the benchmarks work out their figures, in one place.

// Processor time of this thread, in milliseconds: the machine may be busy with
// other work.
inline double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The middle value; 0 when there is none.
inline double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

// The value 99 in 100 stay at or below; 0 when there is none.
inline double percentile99(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[std::min<qsizetype>(v.size() - 1, v.size() * 99 / 100)];
}
