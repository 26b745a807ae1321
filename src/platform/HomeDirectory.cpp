#include "platform/HomeDirectory.h"

#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "platform/Users.h"

namespace nimbla::platform {

namespace {

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string realHomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return withoutTrailingSlash(home);
    }
    // The user database's entry for the real user id.
    const std::optional<RunAs> account = lookUpUser(::getuid());
    return account ? account->home : std::string();
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
