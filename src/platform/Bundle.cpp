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
    const std::string candidate = folder + "/" + build::resourceDirFromExecutable;
    if (char* resolved = ::realpath(candidate.c_str(), nullptr)) {
        info.resourceDirectory = resolved;
        ::free(resolved);
    }
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
    if (bundle.resourceDirectory.empty()) {
        return std::nullopt;
    }
    std::string path = bundle.resourceDirectory;
    if (path.back() != '/') {
        path += '/';
    }
    path += fileName;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return path;
}

std::optional<std::string> shortVersion() {
    return mainBundleSeam()().shortVersion;
}

}  // namespace nimbla::platform
