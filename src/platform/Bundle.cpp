#include "platform/Bundle.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <string_view>

#include "platform/BuildInfo.h"
#include "platform/PropertyList.h"
#include "platform/os/Bundle.h"

namespace nimbla::platform {

namespace {

constexpr std::string_view kExecutableFolder = "/Contents/MacOS";

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

BundleInfo bundleForExecutable(const std::string& executable) {
    const std::size_t slash = executable.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return BundleInfo{"", build::projectVersion};
    }
    const std::string folder = executable.substr(0, slash);
    if (folder.ends_with(kExecutableFolder)) {
        const std::string contents = folder.substr(0, folder.size() - 6);  // without "/MacOS"
        return BundleInfo{resolved(contents + "/Resources"),
                          readPlistString(contents + "/Info.plist", "CFBundleShortVersionString")};
    }
    return BundleInfo{resolved(folder + "/" + build::resourceDirFromExecutable),
                      build::projectVersion,
                      resolved(folder + "/" + build::helperDirFromExecutable)};
}

BundleInfo mainBundle() {
    const std::optional<std::string> executable = os::ownExecutablePath();
    if (!executable) {
        return BundleInfo{"", build::projectVersion};
    }
    return bundleForExecutable(*executable);
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
