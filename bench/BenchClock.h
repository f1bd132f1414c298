// The benchmarks' clocks: elapsed time, and this process's processor time
// (user and system), which other programs on a busy machine disturb far
// less than the wall clock. Both in seconds from an arbitrary start.
#pragma once

class BenchClock {
public:
    static double Wall();
    static double Cpu(); // 0 where it cannot be read
};
