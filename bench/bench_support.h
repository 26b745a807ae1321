// What the benchmark programs share: timing, medians, result lines and a plain capture.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbla_bench {

using Clock = std::chrono::steady_clock;

std::int64_t nanosSince(Clock::time_point start);
double median(std::vector<double> values);

// Prints "RESULT <key> <value>" for scripts/bench.
void result(const std::string& key, double value);
[[noreturn]] void fail(const std::string& message);

struct Captured {
    bool exitedWithZero = false;
    std::string out;
    std::string err;
};

// Reads both pipes to their end, then waits for the child `pid`.
Captured collect(pid_t pid, int outRead, int errRead);

// Starts the command with both streams into pipes, reads them, waits.
Captured spawnAndCapture(const std::vector<std::string>& command);

// P6, P7 and P8: the command line for alex in the simulated installation (bench_cli.cpp).
int benchCommandLine(const std::string& which, const std::string& cli, int rounds,
                     const std::string& adminScript);

}  // namespace nimbla_bench
