#include "operations/Traces.h"

#include <algorithm>
#include <filesystem>

#include "operations/Preservation.h"
#include "operations/TraceList.h"

namespace nimbla {

namespace fs = std::filesystem;

namespace {

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

std::optional<std::vector<std::string>> existingPathsRemovedBy(const Session& session,
                                                               const PlannedStep& step) {
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
            const auto entries = readTraceList(traceListBeside(step.script));
            if (!entries) {
                return std::nullopt;
            }
            return listedPaths(*entries,
                               step.asAdministrator ? TraceScope::Machine : TraceScope::User,
                               session.home);
        }
    }
    return std::vector<std::string>{};
}

void findRemovals(const Session& session, Plan& plan) {
    for (PlannedStep& step : plan.steps) {
        step.paths = existingPathsRemovedBy(session, step).value_or(std::vector<std::string>{});
    }
}

std::optional<std::vector<std::string>> leftoversOf(const Session& session,
                                                    const Plan& uninstallPlan) {
    std::vector<std::string> left;
    for (const PlannedStep& step : uninstallPlan.steps) {
        std::optional<std::vector<std::string>> paths = existingPathsRemovedBy(session, step);
        if (!paths) {
            return std::nullopt;
        }
        for (std::string& path : *paths) {
            if (std::find(left.begin(), left.end(), path) == left.end()) {
                left.push_back(std::move(path));
            }
        }
    }
    return left;
}

std::optional<std::vector<Trace>> tracesOnDisk(const Session& session, const Plan& uninstallPlan) {
    const std::optional<std::vector<std::string>> removable = leftoversOf(session, uninstallPlan);
    if (!removable) {
        return std::nullopt;
    }
    std::vector<Trace> traces;
    for (const std::string& path : *removable) {
        traces.push_back(traceAt(path, false));
    }
    // The machine's (no home): no never-uploaded files.
    for (const auto& [folder, changed] :
         session.home.empty() ? FolderTimes{} : preservationFolders(session.home)) {
        traces.push_back(traceAt(folder, true));
    }
    return traces;
}

}  // namespace nimbla
