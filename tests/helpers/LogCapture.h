#pragma once

// Points the process's log at the Desktop of a fresh temporary home, once per test program,
// so tests can read back exactly what a call appended.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "logging/Logger.h"
#include "platform/Clock.h"
#include "platform/HomeDirectory.h"

namespace nimbla::testsupport {

class LogCapture {
public:
    // The moment the log was opened: noon UTC on 29 December 2025.
    static platform::TimePoint openedAt() {
        using namespace std::chrono;
        return sys_days{year{2025} / December / 29} + hours{12};
    }

    // Must run before anything in the test program logs.
    static LogCapture& instance() {
        static LogCapture capture;
        return capture;
    }

    const std::string& home() const { return home_; }
    const std::string& path() const { return dest().path(); }

    std::string contents() const {
        std::ifstream in(path(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::size_t mark() const { return contents().size(); }
    std::string since(std::size_t mark) const { return contents().substr(mark); }

private:
    LogCapture() {
        char pattern[] = "/tmp/nimbla-log-home-XXXXXX";
        home_ = mkdtemp(pattern);
        mkdir((home_ + "/Desktop").c_str(), 0755);
        platform::homeDirectorySeam().replace([home = home_] { return home; });
        platform::clockSeam().replace([] { return openedAt(); });
        dest();
        platform::clockSeam().replace(platform::clockSeam().real());
    }

    ~LogCapture() {
        unlink(path().c_str());
        rmdir((home_ + "/Desktop").c_str());
        rmdir(home_.c_str());
    }

    std::string home_;
};

}  // namespace nimbla::testsupport
