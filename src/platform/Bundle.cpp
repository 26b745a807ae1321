#include "platform/Bundle.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/BuildInfo.h"

namespace nimbla::platform {

namespace {

std::string executableFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
        return {};
    }
    std::string path(buffer, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    path.resize(slash == 0 ? 1 : slash);
    return path;
}

// The absolute, physical path of an existing folder, else "".
std::string resolved(const std::string& path) {
    std::string result;
    if (char* physical = ::realpath(path.c_str(), nullptr)) {
        result = physical;
        ::free(physical);
    }
    return result;
}

bool isSafeFileName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && name.find("..") == std::string::npos;
}

}  // namespace

BundleInfo mainBundle() {
    BundleInfo info;
    info.shortVersion = build::projectVersion;
    const std::string folder = executableFolder();
    if (folder.empty()) {
        return info;
    }
    info.resourceDirectory = resolved(folder + "/" + build::resourceDirFromExecutable);
    info.helperDirectory = resolved(folder + "/" + build::helperDirFromExecutable);
    return info;
}

Seam<BundleInfo()>& mainBundleSeam() {
    static auto* const seam = new Seam<BundleInfo()>(mainBundle);
    return *seam;
}

std::optional<std::string> pathForResource(const std::string& name, const std::string& type) {
    const std::string fileName = type.empty() ? name : name + "." + type;
    if (name.empty() || !isSafeFileName(fileName)) {
        return std::nullopt;
    }
    const BundleInfo bundle = mainBundleSeam()();
    for (std::string path : {bundle.resourceDirectory, bundle.helperDirectory}) {
        if (path.empty()) {
            continue;
        }
        if (path.back() != '/') {
            path += '/';
        }
        path += fileName;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            return path;
        }
    }
    return std::nullopt;
}

std::optional<std::string> shortVersion() {
    return mainBundleSeam()().shortVersion;
}

}  // namespace nimbla::platform
