#include "platform/Workspace.h"

#include <map>
#include <string_view>

#include "platform/PropertyList.h"
#include "platform/os/Workspace.h"

namespace nimbla::platform {

namespace {

constexpr std::string_view kExecutableFolder = "/Contents/MacOS";

struct BundleFacts {
    std::optional<std::string> executable;  // CFBundleExecutable
    std::optional<std::string> identifier;  // CFBundleIdentifier
};

// Bundle folder -> what its Info.plist says, so a snapshot reads each Info.plist once.
using BundleCache = std::map<std::string, BundleFacts, std::less<>>;

const BundleFacts& factsOf(std::string_view bundle, BundleCache& cache) {
    if (auto it = cache.find(bundle); it != cache.end()) {
        return it->second;
    }
    const std::string plist = std::string(bundle) + "/Contents/Info.plist";
    BundleFacts facts{readPlistString(plist, "CFBundleExecutable"),
                      readPlistString(plist, "CFBundleIdentifier")};
    return cache.emplace(std::string(bundle), std::move(facts)).first->second;
}

// An application is the main executable of an application bundle,
// <name>.app/Contents/MacOS/<CFBundleExecutable>; a helper elsewhere in the bundle (such as
// Contents/MacOS/fpe/rivlet) or a plug-in's executable (Contents/PlugIns/<name>.appex/...) is not.
std::optional<std::string> identifierForExecutable(std::string_view path, BundleCache& cache) {
    const std::size_t slash = path.rfind('/');
    if (path.empty() || path.front() != '/' || slash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view name = path.substr(slash + 1);
    const std::string_view folder = path.substr(0, slash);
    if (name.empty() || !folder.ends_with(kExecutableFolder)) {
        return std::nullopt;
    }
    const std::string_view bundle = folder.substr(0, folder.size() - kExecutableFolder.size());
    const std::string_view bundleName = bundle.substr(bundle.rfind('/') + 1);
    if (bundleName.size() <= 4 || !bundleName.ends_with(".app")) {
        return std::nullopt;
    }
    const BundleFacts& facts = factsOf(bundle, cache);
    if (facts.executable != name) {
        return std::nullopt;
    }
    return facts.identifier;
}

// The path that says what the process is: its executable's, or else the path it was started from
// when the process's own name is that path's last part (the name cut to the system's length).
std::string_view pathOf(const ProcessEntry& process) {
    if (!process.executable.empty()) {
        return process.executable;
    }
    const std::string_view launched = process.launchPath;
    const std::size_t slash = launched.rfind('/');
    if (process.name.empty() || slash == std::string_view::npos) {
        return {};
    }
    const std::string_view last = launched.substr(slash + 1);
    constexpr std::size_t kShortestCutName = 15;  // Linux keeps 15 bytes, macOS 16
    const bool named = last == process.name ||
                       (process.name.size() >= kShortestCutName && last.starts_with(process.name));
    return named ? launched : std::string_view();
}

}  // namespace

Seam<ProcessList(std::optional<uid_t>)>& processListSeam() {
    static auto* const seam = new Seam<ProcessList(std::optional<uid_t>)>(os::processesOf);
    return *seam;
}

std::optional<std::vector<RunningApplication>> runningApplicationsOf(uid_t uid) {
    const ProcessList processes = processListSeam()(uid);
    if (!processes) {
        return std::nullopt;
    }
    std::vector<RunningApplication> applications;
    BundleCache cache;
    for (const ProcessEntry& process : *processes) {
        if (const std::string_view path = pathOf(process); !path.empty()) {
            applications.push_back({process.pid, identifierForExecutable(path, cache)});
        }
    }
    return applications;
}

std::optional<std::vector<std::pair<uid_t, RunningApplication>>> runningApplicationsOfEveryone() {
    const ProcessList processes = processListSeam()(std::nullopt);
    if (!processes) {
        return std::nullopt;
    }
    std::vector<std::pair<uid_t, RunningApplication>> applications;
    BundleCache cache;
    for (const ProcessEntry& process : *processes) {
        if (const std::string_view path = pathOf(process); !path.empty()) {
            applications.push_back(
                {process.uid, {process.pid, identifierForExecutable(path, cache)}});
        }
    }
    return applications;
}

std::optional<std::string> bundleIdentifierForExecutable(const std::string& executablePath) {
    BundleCache cache;
    return identifierForExecutable(executablePath, cache);
}

}  // namespace nimbla::platform
