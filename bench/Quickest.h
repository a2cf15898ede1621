#pragma once
// The quickest of a few runs of a step, as the benchmarks time the programs
// they start: the least that noise from the machine adds.
#include <algorithm>
#include <chrono>

namespace bench {

// The quickest of `runs` runs, in milliseconds; -1 when one failed.
template <typename Run>
double quickest(Run run, int runs = 3)
{
    using Clock = std::chrono::steady_clock;
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        if (!run()) return -1;
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

} // namespace bench
