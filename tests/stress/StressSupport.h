#pragma once

// Shared by the stress tests: sizes scaled down under the sanitizers, a private log, and a look
// at the process's own descriptors, children and memory.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "logging/Logger.h"
#include "platform/Clock.h"
#include "platform/HomeDirectory.h"

#ifndef NIMBLA_STRESS_DIVISOR
#define NIMBLA_STRESS_DIVISOR 1
#endif

namespace nimbla::stress {

namespace fs = std::filesystem;

// `full` under a plain build, a fraction of it under the (much slower) sanitizer builds.
constexpr long long scaled(long long full) {
    return full / NIMBLA_STRESS_DIVISOR > 0 ? full / NIMBLA_STRESS_DIVISOR : 1;
}
constexpr bool kSanitized = NIMBLA_STRESS_DIVISOR > 1;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "nimbla-stress-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Points the process's log at `home` + "/Desktop/..." (dated 14 March 2025). The log's path is
// fixed by its first use, so this must run before anything in the process logs.
inline std::string useLogHome(const std::string& home) {
    platform::homeDirectorySeam().replace([home] { return home; });
    platform::clockSeam().replace(
        [] { return platform::TimePoint(std::chrono::seconds(1741953600)); });
    const std::string path = dest().path();
    platform::clockSeam().replace(platform::clockSeam().real());
    return path;
}

inline int openDescriptorCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir)) {
            count += entry->d_name[0] != '.';
        }
        closedir(dir);
    }
    return count - 1;  // the directory's own
}

// Processes whose parent is this one, living or zombie.
inline int childProcessCount() {
    int count = 0;
    const std::string self = std::to_string(getpid());
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream status(entry.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("PPid:", 0) == 0) {
                count += std::stoi(line.substr(5)) == getpid();
                break;
            }
        }
    }
    return count;
}

inline long statusKib(const char* key) {
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

}  // namespace nimbla::stress
