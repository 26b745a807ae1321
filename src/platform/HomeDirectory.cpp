#include "platform/HomeDirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace nimbla::platform {

namespace {

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string passwordDatabaseHome() {
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 4096);
    passwd entry{};
    passwd* found = nullptr;
    for (;;) {
        int rc = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1U << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc == EINTR) {
            continue;
        }
        break;
    }
    if (found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
        return {};
    }
    return withoutTrailingSlash(found->pw_dir);
}

std::string realHomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return withoutTrailingSlash(home);
    }
    return passwordDatabaseHome();
}

}  // namespace

Seam<std::string()>& homeDirectorySeam() {
    static Seam<std::string()> seam(realHomeDirectory);
    return seam;
}

std::string homeDirectory() {
    return homeDirectorySeam()();
}

}  // namespace nimbla::platform
