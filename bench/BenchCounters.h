#pragma once

// Counters the benchmarks add to their timings.

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace bench {

/// Minor page faults per iteration of the timed loop, as the counter "faults": fresh pages
/// of a result cost a fault each (4 KiB), which is how a needless clearing pass shows up.
class FaultCounter
{
public:
    explicit FaultCounter(benchmark::State& state) : m_state(state), m_start(faults()) {}
    ~FaultCounter()
    {
        m_state.counters["faults"] =
            benchmark::Counter(static_cast<double>(faults() - m_start), benchmark::Counter::kAvgIterations);
    }

private:
    static long faults()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_minflt;
    }
    benchmark::State& m_state;
    long m_start;
};

/// Time per pixel of one iteration, as the counter "ns_per_pixel" (real time when the
/// benchmark uses it): equal values at different sizes mean the cost grows linearly.
inline void countTimePerPixel(benchmark::State& state, double pixels)
{
    state.counters["ns_per_pixel"] =
        benchmark::Counter(pixels * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace bench
