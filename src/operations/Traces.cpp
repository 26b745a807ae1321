#include "operations/Traces.h"

#include <algorithm>
#include <filesystem>

#include "operations/Preservation.h"
#include "process/RunProcess.h"

namespace nimbla {

namespace fs = std::filesystem;

namespace {

constexpr const char* kListDescription = "Listing what the uninstall script removes";

bool isThere(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

std::vector<std::string> existing(const std::string& home,
                                  std::initializer_list<const char*> paths) {
    std::vector<std::string> found;
    for (const char* path : paths) {
        const fs::path full = fs::path(home) / path;
        if (isThere(full)) {
            found.push_back(full.string());
        }
    }
    return found;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> found;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (end > start) {
            found.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return found;
}

std::uintmax_t bytesIn(const fs::path& path, fs::file_type type) {
    std::error_code error;
    if (type == fs::file_type::regular) {
        const auto size = fs::file_size(path, error);
        return error ? 0 : size;
    }
    std::uintmax_t total = 0;
    if (type == fs::file_type::directory) {
        for (fs::recursive_directory_iterator it(path, error), end; !error && it != end;
             it.increment(error)) {
            std::error_code ignored;
            if (it->is_regular_file(ignored) && !it->is_symlink(ignored)) {
                total += it->file_size(ignored);
            }
        }
    }
    return total;
}

Trace traceAt(const std::string& path, bool kept) {
    std::error_code error;
    const fs::file_type type = fs::symlink_status(path, error).type();
    const char* kind = type == fs::file_type::directory ? "folder"
                       : type == fs::file_type::symlink ? "link"
                                                        : "file";
    return {path, kind, bytesIn(path, type), kept};
}

}  // namespace

std::vector<std::string> existingPathsRemovedBy(const Session& session, const PlannedStep& step) {
    switch (step.removes) {
        case Removal::Nothing:
            return {};
        case Removal::Domain:
            return existing(session.home, {"Library/Application Support/FileProvider/"
                                           "com.nimbla.desktop.nimblafileprovider",
                                           "Library/CloudStorage/Nimbla-Nimbla"});
        case Removal::Preferences:
            return existing(session.home, {"Library/Preferences/com.nimbla.desktop.plist"});
        case Removal::SupportFolder:
            return existing(session.home, {"Library/Application Support/Nimbla/Nimbla"});
        case Removal::ListedByScript: {
            Session quiet = session;
            quiet.log = nullptr;
            quiet.observer = {};
            if (step.asAdministrator) {
                quiet.runAs.reset();  // the machine's parts: readable by anyone
            }
            const ProcessResult listed =
                runProcessSeam()(quiet, step.script, {"--list"}, kListDescription);
            return listed.succeeded ? lines(listed.output) : std::vector<std::string>{};
        }
    }
    return {};
}

void findRemovals(const Session& session, Plan& plan) {
    for (PlannedStep& step : plan.steps) {
        step.paths = existingPathsRemovedBy(session, step);
    }
}

std::vector<std::string> leftoversOf(const Session& session, const Plan& uninstallPlan) {
    std::vector<std::string> left;
    for (const PlannedStep& step : uninstallPlan.steps) {
        for (std::string& path : existingPathsRemovedBy(session, step)) {
            if (std::find(left.begin(), left.end(), path) == left.end()) {
                left.push_back(std::move(path));
            }
        }
    }
    return left;
}

std::vector<Trace> tracesOnDisk(const Session& session, const Plan& uninstallPlan) {
    std::vector<Trace> traces;
    for (const std::string& path : leftoversOf(session, uninstallPlan)) {
        traces.push_back(traceAt(path, false));
    }
    for (const auto& [folder, changed] : preservationFolders(session.home)) {
        traces.push_back(traceAt(folder, true));
    }
    return traces;
}

}  // namespace nimbla
