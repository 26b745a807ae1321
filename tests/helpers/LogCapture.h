#pragma once

// Points the process's log at the Desktop of a fresh temporary home, once per test program,
// so tests can read back exactly what a call appended.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
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

    // The log's size now, and what was appended after such a mark.
    std::size_t mark() const {
        struct stat info {};
        return stat(path().c_str(), &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
    }
    std::string since(std::size_t mark) const {
        std::ifstream in(path(), std::ios::binary);
        in.seekg(static_cast<std::streamoff>(mark));
        std::string text(this->mark() - std::min(mark, this->mark()), '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        return text;
    }

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
