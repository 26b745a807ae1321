#pragma once

#include <optional>
#include <string>

#include "platform/Seam.h"

namespace nimbla::platform {

// The tool's own bundle: its resources and its version.
struct BundleInfo {
    std::string resourceDirectory;  // absolute; "" when it cannot be found
    std::optional<std::string> shortVersion;
    std::string helperDirectory = {};  // the executable helper scripts, when kept apart; or ""
};

// The tool's bundle, found from its own executable (see bundleForExecutable).
BundleInfo mainBundle();

// For an executable inside an application bundle (<name>.app/Contents/MacOS/<executable>): the
// resources in Contents/Resources and the CFBundleShortVersionString of Contents/Info.plist.
// Anywhere else, relative to the folder of the executable (the same in the build tree and under an
// installed prefix): data in ../share/nimbla-reset-tool, helper scripts in
// ../lib/nimbla-reset-tool; the version is the project's.
BundleInfo bundleForExecutable(const std::string& executable);
Seam<BundleInfo()>& mainBundleSeam();

// The full path of resource `name` (with "." + `type` when `type` is not empty), only when that
// file exists: in the resource folder, else in the helper folder.
std::optional<std::string> pathForResource(const std::string& name, const std::string& type);

// The tool's short version (CFBundleShortVersionString), if any.
std::optional<std::string> shortVersion();

}  // namespace nimbla::platform
