// Measures the process runner, the log and a whole reset against baselines run in the same
// process and the same moment, and prints the figures as "RESULT <key> <value>" lines for
// scripts/bench. Machines are shared and noisy: every figure is a median over interleaved rounds
// and is meant to be read as a ratio to its baseline.
//
//   nimbla_bench p1 [calls] [rounds] [qprocess-program] [python]
//   nimbla_bench p2 [bytes] [rounds]            (each measurement in a fresh process:)
//   nimbla_bench p2-one runner|runner-nolog|poll|poll-write bytes
//   nimbla_bench p3 [lines] [rounds]
//   nimbla_bench p5 [rounds]                    (inside the simulated installation)
//   nimbla_bench p6 <nimbla-reset> [rounds] [admin-script]  (inside it too: bench_cli.cpp)
//   nimbla_bench p7|p8|p9 <nimbla-reset> [rounds]
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "logging/Logger.h"
#include "operations/Outcomes.h"
#include "operations/Reset.h"
#include "platform/HomeDirectory.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"
#include "process/RunProcess.h"

extern char** environ;

namespace nimbla_bench {

std::int64_t nanosSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void result(const std::string& key, double value) {
    std::printf("RESULT %s %.6g\n", key.c_str(), value);
    std::fflush(stdout);
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "nimbla_bench: %s\n", message.c_str());
    std::exit(1);
}

// Reads both pipes to their end, then waits for the child.
Captured collect(pid_t pid, int outRead, int errRead) {
    Captured captured;
    pollfd fds[2] = {{outRead, POLLIN, 0}, {errRead, POLLIN, 0}};
    std::string* sinks[2] = {&captured.out, &captured.err};
    static char buffer[64 * 1024];
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    captured.exitedWithZero = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return captured;
}

// A plain capture: both streams into pipes, a poll loop reading each into a buffer, then wait.
Captured spawnAndCapture(const std::vector<std::string>& command) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        fail("pipe2 failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (const auto& argument : command) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    Captured captured;
    if (spawned == 0) {
        captured = collect(pid, outPipe[0], errPipe[0]);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    return captured;
}

}  // namespace nimbla_bench

namespace {

using namespace nimbla_bench;
namespace fs = std::filesystem;

// The window's kind of session: the tool's own user, logging to its Desktop log.
const nimbla::Session& benchSession() {
    static const nimbla::Session session = [] {
        nimbla::Session made;
        made.log = &nimbla::dest();
        return made;
    }();
    return session;
}

// A throwaway home folder (with a Desktop, unless told otherwise) that receives the tool's log,
// so logging costs what it costs for real without touching the real Desktop.
class TempHome {
public:
    explicit TempHome(bool withDesktop = true) {
        char pattern[] = "/tmp/nimbla-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            fail("mkdtemp failed");
        }
        path_ = pattern;
        if (withDesktop) {
            fs::create_directory(path_ / "Desktop");
        }
        nimbla::platform::homeDirectorySeam().replace([home = path_.string()] { return home; });
    }
    ~TempHome() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

long statusKib(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(key);
    while (std::getline(in, line)) {
        if (line.compare(0, length, key) == 0 && line.size() > length && line[length] == ':') {
            return std::strtol(line.c_str() + length + 1, nullptr, 10);
        }
    }
    return -1;
}

double cpuSelfNanos() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ns = [](const timeval& t) { return t.tv_sec * 1e9 + t.tv_usec * 1e3; };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

// ---- baselines ----

// The floor: start the program and wait for it, nothing else.
bool spawnAndWait(const char* program) {
    char* argv[] = {const_cast<char*>(program), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs a peer program that times itself and prints nanoseconds per call.
double peerNanosPerCall(const std::string& commandLine) {
    FILE* pipe = popen(commandLine.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char line[128] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    const int status = pclose(pipe);
    if (!read || status != 0) {
        return -1;
    }
    return std::strtod(line, nullptr);
}

// ---- P1: one call on /bin/true ----

int benchSpawn(long calls, int rounds, const std::string& qprocess, const std::string& python) {
    TempHome home;
    const long peerCalls = calls;
    const std::string pythonLine =
        python +
        " -c 'import subprocess,sys,time\n"
        "n=int(sys.argv[1]);subprocess.run([\"/bin/true\"],capture_output=True)\n"
        "t=time.perf_counter_ns()\n"
        "for _ in range(n): subprocess.run([\"/bin/true\"],capture_output=True)\n"
        "print((time.perf_counter_ns()-t)//n)' " +
        std::to_string(peerCalls);
    const std::string qprocessLine =
        qprocess.empty() ? "" : qprocess + " " + std::to_string(peerCalls);

    std::map<std::string, std::vector<double>> perCall;
    auto timeCalls = [&](const std::string& name, const std::function<bool()>& call) {
        const auto start = Clock::now();
        for (long i = 0; i < calls; ++i) {
            if (!call()) {
                fail(name + ": a call failed");
            }
        }
        perCall[name].push_back(static_cast<double>(nanosSince(start)) / calls);
    };
    // Warm up the page cache and the log file.
    for (int i = 0; i < 20; ++i) {
        spawnAndWait("/bin/true");
        nimbla::runProcess(benchSession(), "/bin/true", {}, "Running true");
    }
    // Every variant runs a short batch in each round, so a burst of load elsewhere hits them
    // alike; the peers time their batch themselves, in their own processes.
    auto timePeer = [&](const std::string& name, const std::string& line) {
        const double ns = peerNanosPerCall(line);
        if (ns <= 0) {
            fail(name + " did not run: " + line);
        }
        perCall[name].push_back(ns);
    };
    for (int round = 0; round < rounds; ++round) {
        // Each round in another order, so that none always follows the same neighbour.
        for (int step = 0; step < 5; ++step) {
            switch ((round + step) % 5) {
                case 0:
                    timeCalls("floor", [] { return spawnAndWait("/bin/true"); });
                    break;
                case 1:
                    timeCalls("runProcess", [] {
                        return nimbla::runProcess(benchSession(), "/bin/true", {}, "Running true")
                            .succeeded;
                    });
                    break;
                case 2:
                    timeCalls("pipes",
                              [] { return spawnAndCapture({"/bin/true"}).exitedWithZero; });
                    break;
                case 3:
                    if (!qprocessLine.empty()) {
                        timePeer("QProcess", qprocessLine);
                    }
                    break;
                default:
                    timePeer("python", pythonLine);
            }
        }
    }
    for (const auto& [name, values] : perCall) {
        if (name == "floor") {
            continue;
        }
        std::vector<double> ratios;
        for (int round = 0; round < rounds; ++round) {
            ratios.push_back(values[round] / perCall["floor"][round]);
        }
        result("p1." + name + "_per_floor", median(ratios));
    }
    for (const auto& [name, values] : perCall) {
        result("p1." + name + "_ns", median(values));
    }
    return 0;
}

// ---- P2: 512 MiB on each stream at once ----

int captureOnce(const std::string& mode, std::size_t bytes) {
    std::unique_ptr<TempHome> home;
    if (mode != "poll") {
        home = std::make_unique<TempHome>(mode != "runner-nolog");
        nimbla::dest();  // fixes the log path before the clock starts
    }
    const long baseKib = statusKib("VmRSS");
    const std::string writer = NIMBLA_BENCH_WRITER;
    const std::string count = std::to_string(bytes);
    std::size_t outSize = 0;
    std::size_t errSize = 0;
    const auto start = Clock::now();
    if (mode == "poll" || mode == "poll-write") {
        Captured captured = spawnAndCapture({writer, count});
        outSize = captured.out.size();
        errSize = captured.err.size();
        if (mode == "poll-write") {
            // The least a capture that is logged must do: one write of what was captured to a
            // file on the same Desktop.
            const std::string file = (home->path() / "Desktop" / "captured").string();
            const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            bool written = fd >= 0;
            for (const std::string* stream : {&captured.out, &captured.err}) {
                std::string_view piece = *stream;
                while (written && !piece.empty()) {
                    const ssize_t n = write(fd, piece.data(), piece.size());
                    written = n > 0;
                    piece.remove_prefix(written ? static_cast<std::size_t>(n) : 0);
                }
            }
            if (!written || close(fd) != 0) {
                fail("writing the captured bytes failed");
            }
        }
    } else {
        nimbla::ProcessResult result =
            nimbla::runProcess(benchSession(), writer, {count}, "Writing");
        outSize = result.output.size();
        errSize = result.errorOutput.size();
    }
    const double ns = static_cast<double>(nanosSince(start));
    if (outSize != bytes || errSize != bytes) {
        fail("capture lost bytes: " + std::to_string(outSize) + "/" + std::to_string(errSize));
    }
    const long peakKib = statusKib("VmHWM");
    result("ns", ns);
    result("peak_extra_kib", static_cast<double>(peakKib - baseKib));
    return 0;
}

int benchCapture(const char* self, std::size_t bytes, int rounds) {
    std::map<std::string, std::vector<double>> seconds, peakRatio;
    for (int round = 0; round < rounds; ++round) {
        for (const std::string mode : {"poll", "poll-write", "runner", "runner-nolog"}) {
            const std::string line =
                std::string(self) + " p2-one " + mode + " " + std::to_string(bytes);
            FILE* pipe = popen(line.c_str(), "r");
            if (pipe == nullptr) {
                fail("popen failed");
            }
            char text[256];
            double ns = -1, peak = -1;
            while (std::fgets(text, sizeof text, pipe) != nullptr) {
                char key[64];
                double value;
                if (std::sscanf(text, "RESULT %63s %lf", key, &value) == 2) {
                    (std::strcmp(key, "ns") == 0 ? ns : peak) = value;
                }
            }
            if (pclose(pipe) != 0 || ns < 0 || peak < 0) {
                fail("capture run failed: " + mode);
            }
            seconds[mode].push_back(ns / 1e9);
            peakRatio[mode].push_back(peak * 1024.0 / (2.0 * static_cast<double>(bytes)));
        }
    }
    result("p2.bytes_per_stream", static_cast<double>(bytes));
    for (const auto& [mode, values] : seconds) {
        const double s = median(values);
        result("p2." + mode + "_s", s);
        result("p2." + mode + "_mib_per_s", 2.0 * static_cast<double>(bytes) / s / (1 << 20));
        result("p2." + mode + "_peak_per_byte", median(peakRatio[mode]));
    }
    return 0;
}

// ---- P3: one log line ----

int benchLog(long lines, int rounds) {
    TempHome home;
    const std::string message =
        "Removing Nimbla domain output: No existing domain was found with display name: Nimbla";
    const std::string bytes = message + "\n";
    const std::string floorPath = (home.path() / "Desktop" / "floor").string();
    std::vector<double> logNs, floorNs;
    auto floorWrite = [&] {
        const int fd = open(floorPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            fail("floor write failed");
        }
        close(fd);
    };
    for (int i = 0; i < 100; ++i) {
        nimbla::log(benchSession(), message);
        floorWrite();
    }
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        for (long i = 0; i < lines; ++i) {
            floorWrite();
        }
        floorNs.push_back(static_cast<double>(nanosSince(start)) / lines);
        start = Clock::now();
        for (long i = 0; i < lines; ++i) {
            nimbla::log(benchSession(), message);
        }
        logNs.push_back(static_cast<double>(nanosSince(start)) / lines);
    }
    if (fs::file_size(nimbla::dest().path()) != fs::file_size(floorPath)) {
        fail("the log did not receive every line");
    }
    std::vector<double> ratios;
    for (std::size_t i = 0; i < logNs.size(); ++i) {
        ratios.push_back(logNs[i] / floorNs[i]);
    }
    result("p3.log_per_floor", median(ratios));
    result("p3.floor_ns", median(floorNs));
    result("p3.log_ns", median(logNs));
    return 0;
}

// ---- P5: a whole reset in the simulated installation ----

struct Command {
    std::string url;
    std::vector<std::string> arguments;
};

int benchReset(int rounds) {
    if (getenv("NIMBLA_SIM_TOOL") == nullptr) {
        fail("p5 runs inside the simulated installation (tools/sim/nimbla-sim)");
    }
    std::mutex mutex;
    std::vector<std::string> outcomes;
    auto& center = nimbla::platform::NotificationCenter::defaultCenter();
    for (std::string_view name : {nimbla::outcomes::resetSuccess, nimbla::outcomes::resetFailed,
                                  nimbla::outcomes::nimblaDriveRunning}) {
        center.addObserver(name, [&, name] {
            std::lock_guard lock(mutex);
            outcomes.emplace_back(name);
        });
    }
    auto resetOnce = [&] {
        const std::size_t before = outcomes.size();
        nimbla::resetNimbla();
        for (;;) {
            nimbla::platform::mainRunLoop().runFor(std::chrono::milliseconds(5));
            std::lock_guard lock(mutex);
            if (outcomes.size() > before) {
                return outcomes.back();
            }
        }
    };

    // The first reset removes what there is; the measured ones run the same commands each time.
    // It also records the commands, to run them directly for the baseline.
    const std::string first = resetOnce();
    std::vector<Command> commands;
    {
        auto recording = nimbla::runProcessSeam().override(
            [&](const nimbla::Session& session, const std::string& url,
                const std::vector<std::string>& arguments, const std::string& description) {
                {
                    std::lock_guard lock(mutex);
                    commands.push_back({url, arguments});
                }
                return nimbla::runProcess(session, url, arguments, description);
            });
        resetOnce();
    }

    std::vector<double> resetNs, directNs, resetCpu, directCpu;
    std::string outcome;
    for (int round = 0; round < rounds; ++round) {
        double cpu = cpuSelfNanos();
        auto start = Clock::now();
        outcome = resetOnce();
        resetNs.push_back(static_cast<double>(nanosSince(start)));
        resetCpu.push_back(cpuSelfNanos() - cpu);

        cpu = cpuSelfNanos();
        start = Clock::now();
        for (const Command& command : commands) {
            std::vector<std::string> line{command.url};
            line.insert(line.end(), command.arguments.begin(), command.arguments.end());
            spawnAndCapture(line);
        }
        directNs.push_back(static_cast<double>(nanosSince(start)));
        directCpu.push_back(cpuSelfNanos() - cpu);
    }
    std::printf("# first reset: %s; then %s, running %zu commands:\n", first.c_str(),
                outcome.c_str(), commands.size());
    for (const Command& command : commands) {
        std::string line = command.url;
        for (const auto& argument : command.arguments) {
            line += " '" + argument + "'";
        }
        std::printf("#   %s\n", line.c_str());
    }
    result("p5.commands", static_cast<double>(commands.size()));
    result("p5.reset_ns", median(resetNs));
    result("p5.direct_ns", median(directNs));
    result("p5.reset_cpu_ns", median(resetCpu));
    result("p5.direct_cpu_ns", median(directCpu));
    std::vector<double> beyond;
    for (std::size_t i = 0; i < resetNs.size(); ++i) {
        beyond.push_back(resetNs[i] - directNs[i]);
    }
    result("p5.beyond_children_ns", median(beyond));
    return 0;
}

long argOr(int argc, char** argv, int index, long fallback) {
    return argc > index ? std::strtol(argv[index], nullptr, 10) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "p1") {
        return benchSpawn(argOr(argc, argv, 2, 20), static_cast<int>(argOr(argc, argv, 3, 61)),
                          argc > 4 ? argv[4] : "", argc > 5 ? argv[5] : "python3");
    }
    if (what == "p2") {
        return benchCapture(argv[0], static_cast<std::size_t>(argOr(argc, argv, 2, 512L << 20)),
                            static_cast<int>(argOr(argc, argv, 3, 3)));
    }
    if (what == "p2-one" && argc == 4) {
        return captureOnce(argv[2], static_cast<std::size_t>(std::strtoull(argv[3], nullptr, 10)));
    }
    if (what == "p3") {
        return benchLog(argOr(argc, argv, 2, 200), static_cast<int>(argOr(argc, argv, 3, 201)));
    }
    if (what == "p5") {
        return benchReset(static_cast<int>(argOr(argc, argv, 2, 15)));
    }
    if ((what == "p6" || what == "p7" || what == "p8" || what == "p9") && argc > 2) {
        return nimbla_bench::benchCommandLine(
            what, argv[2], static_cast<int>(argOr(argc, argv, 3, 15)), argc > 4 ? argv[4] : "");
    }
    std::fprintf(stderr, "usage: %s p1|p2|p3|p5|p6|p7|p8|p9 [...]\n", argv[0]);
    return 64;
}
