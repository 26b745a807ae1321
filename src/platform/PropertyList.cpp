#include "platform/PropertyList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PropertyListData.h"

namespace nimbla::platform {

namespace {

// Property lists we read are a few kilobytes; anything far larger is not one of them.
constexpr off_t kMaxPlistSize = 8 * 1024 * 1024;

// The whole content of the regular file at `path`, or nothing. Opened without blocking so that
// a FIFO or device under a plist's name cannot stall the caller.
std::optional<std::string> readSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxPlistSize) {
        return std::nullopt;
    }
    std::string data;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (n == 0) {
            return data;
        }
        data.append(buffer, static_cast<std::size_t>(n));
        if (data.size() > static_cast<std::size_t>(kMaxPlistSize)) {
            return std::nullopt;
        }
    }
}

}  // namespace

std::optional<std::string> readPlistString(const std::string& path, const std::string& key) {
    const auto data = readSmallFile(path);
    if (!data || data->empty()) {
        return std::nullopt;
    }
    return os::plistStringFromData(*data, key);
}

}  // namespace nimbla::platform
