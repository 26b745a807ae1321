#include "operations/Traces.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <unordered_set>
#include <utility>

#include "operations/FolderWalk.h"
#include "operations/Preservation.h"
#include "operations/TraceList.h"

namespace nimbla {

namespace {

// A path found, and where to look at it again: below a walk's top, or (a receipt) by its path.
struct Found {
    std::string path;
    std::string relative;
    Tree* tree = nullptr;
};

}  // namespace

struct DiskLook::State {
    State(const Session& session, std::optional<TraceScope> only) : session(session), only(only) {}

    const Session& session;
    std::optional<TraceScope> only;
    bool homeOpened = false, machineOpened = false;
    std::optional<Tree> homeTree, machineTree;
    std::map<std::pair<std::string, TraceScope>, std::optional<std::vector<Found>>> listed;

    Tree* home() {
        if (!std::exchange(homeOpened, true)) {
            homeTree = Tree::open(session.home, true);
        }
        return homeTree ? &*homeTree : nullptr;
    }
    Tree* machine() {
        if (!std::exchange(machineOpened, true)) {
            machineTree = Tree::open("/", false);
        }
        return machineTree ? &*machineTree : nullptr;
    }

    std::vector<Found> existing(std::initializer_list<const char*> relatives) {
        std::vector<Found> found;
        Tree* tree = home();
        for (const char* relative : relatives) {
            if (tree != nullptr && tree->look(relative)) {
                found.push_back({tree->full(relative), relative, tree});
            }
        }
        return found;
    }

    // What the list at `file` names for `scope` that exists now; none when it cannot be read.
    const std::optional<std::vector<Found>>& listedBy(const std::string& file, TraceScope scope) {
        const auto key = std::make_pair(file, scope);
        if (const auto known = listed.find(key); known != listed.end()) {
            return known->second;
        }
        std::optional<std::vector<Found>> paths;
        const std::optional<std::vector<TraceEntry>> entries = readTraceList(file);
        Tree* tree = scope == TraceScope::User ? home() : machine();
        if (entries && tree != nullptr) {
            paths.emplace();
            for (ListedPath& each : listedIn(*entries, scope, *tree)) {
                Tree* at = each.relative.empty() ? nullptr : tree;
                paths->push_back({std::move(each.path), std::move(each.relative), at});
            }
        }
        return listed.emplace(key, std::move(paths)).first->second;
    }

    std::optional<std::vector<Found>> removedBy(const PlannedStep& step) {
        switch (step.removes) {
            case Removal::Nothing:
                return std::vector<Found>{};
            case Removal::Domain:
                return existing(
                    {"Library/Application Support/FileProvider/"
                     "com.nimbla.desktop.nimblafileprovider",
                     "Library/CloudStorage/Nimbla-Nimbla"});
            case Removal::Preferences:
                return existing({"Library/Preferences/com.nimbla.desktop.plist"});
            case Removal::SupportFolder:
                return existing({"Library/Application Support/Nimbla/Nimbla"});
            case Removal::ListedByScript:
                return listedBy(traceListBeside(step.script),
                                step.asAdministrator ? TraceScope::Machine : TraceScope::User);
        }
        return std::vector<Found>{};
    }

    // What the plan's steps remove, each path once; a scope whose script is missing counts with
    // the shipped list's paths.
    std::optional<std::vector<Found>> leftovers(const Plan& plan) {
        std::vector<Found> left;
        std::unordered_set<std::string> seen;
        const auto add = [&](const std::optional<std::vector<Found>>& paths) {
            if (paths) {
                for (const Found& found : *paths) {
                    if (seen.insert(found.path).second) {
                        left.push_back(found);
                    }
                }
            }
            return paths.has_value();
        };
        bool user = false, machine = false;
        for (const PlannedStep& step : plan.steps) {
            if (!add(removedBy(step))) {
                return std::nullopt;
            }
            if (step.removes == Removal::ListedByScript) {
                (step.asAdministrator ? machine : user) = true;
            }
        }
        for (const auto& [scope, covered] :
             {std::pair{TraceScope::User, user}, std::pair{TraceScope::Machine, machine}}) {
            if (covered || (only && scope != *only)) {
                continue;
            }
            const std::optional<std::string> list = shippedTraceList();
            if (!list || !add(listedBy(*list, scope))) {
                return std::nullopt;
            }
        }
        return left;
    }

    // The list the plan's scripts read, or the shipped one.
    std::optional<std::string> listOf(const Plan& plan) {
        for (const PlannedStep& step : plan.steps) {
            if (step.removes == Removal::ListedByScript) {
                return traceListBeside(step.script);
            }
        }
        return shippedTraceList();
    }
};

DiskLook::DiskLook(const Session& session, std::optional<TraceScope> only)
    : state_(std::make_unique<State>(session, only)) {}

DiskLook::~DiskLook() = default;

bool clientBundlePresent() {
    struct stat st {};
    return ::stat(kClientBundle, &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

std::vector<std::string> pathsOf(const std::vector<Found>& found) {
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (const Found& each : found) {
        paths.push_back(each.path);
    }
    return paths;
}

Trace traceOf(const Found& found, bool kept, std::size_t budget) {
    std::optional<struct stat> st;
    if (found.tree != nullptr) {
        st = found.tree->look(found.relative);
    } else if (struct stat own{}; ::lstat(found.path.c_str(), &own) == 0) {
        st = own;
    }
    Trace trace{found.path, "file", std::nullopt, kept};
    if (!st) {
        return trace;  // gone since it was found
    }
    if (S_ISDIR(st->st_mode)) {
        trace.kind = "folder";
        const Folder* folder = found.tree != nullptr ? found.tree->folder(found.relative) : nullptr;
        if (folder != nullptr) {
            trace.bytes = folder->bytes(budget);
        }
    } else if (S_ISLNK(st->st_mode)) {
        trace.kind = "link";
        trace.bytes = 0;
    } else {
        trace.bytes = S_ISREG(st->st_mode) ? static_cast<std::uintmax_t>(st->st_size) : 0;
    }
    return trace;
}

}  // namespace

std::optional<std::vector<std::string>> DiskLook::removedBy(const PlannedStep& step) {
    const std::optional<std::vector<Found>> found = state_->removedBy(step);
    return found ? std::optional(pathsOf(*found)) : std::nullopt;
}

std::optional<std::vector<std::string>> DiskLook::leftovers(const Plan& uninstallPlan) {
    const std::optional<std::vector<Found>> found = state_->leftovers(uninstallPlan);
    return found ? std::optional(pathsOf(*found)) : std::nullopt;
}

std::optional<std::vector<Trace>> DiskLook::traces(const Plan& uninstallPlan,
                                                   std::optional<std::size_t> sizeBudget) {
    const std::optional<std::vector<Found>> removable = state_->leftovers(uninstallPlan);
    if (!removable) {
        return std::nullopt;
    }
    const std::size_t budget = sizeBudget.value_or(SIZE_MAX);
    std::vector<Trace> traces;
    for (const Found& found : *removable) {
        traces.push_back(traceOf(found, false, budget));
    }
    // The folders never-uploaded files went to: the archive in the home, the dated ones in
    // ~/Library/CloudStorage.
    if (Tree* home = state_->home()) {
        std::vector<std::string> kept;
        if (const auto st = home->look(kArchiveFolderName); st && S_ISDIR(st->st_mode)) {
            kept.push_back(kArchiveFolderName);
        }
        if (const Listing* names = home->names("Library/CloudStorage")) {
            for (std::size_t i = 0; i < names->size(); ++i) {
                const std::string relative = "Library/CloudStorage/" + std::string((*names)[i]);
                const auto st = (*names)[i].starts_with(kPreservedFolderPrefix)
                                    ? home->look(relative)
                                    : std::nullopt;
                if (st && S_ISDIR(st->st_mode)) {
                    kept.push_back(relative);
                }
            }
        }
        std::sort(kept.begin(), kept.end());
        for (const std::string& relative : kept) {
            traces.push_back(traceOf({home->full(relative), relative, home}, true, budget));
        }
    }
    return traces;
}

std::optional<std::vector<std::string>> DiskLook::unlisted(const Plan& uninstallPlan) {
    const std::optional<std::string> list = state_->listOf(uninstallPlan);
    if (!list) {
        return std::nullopt;
    }
    std::unordered_set<std::string> named;
    for (TraceScope scope : {TraceScope::User, TraceScope::Machine}) {
        const std::optional<std::vector<Found>>& listed = state_->listedBy(*list, scope);
        if (!listed && scope == TraceScope::Machine) {
            return std::nullopt;  // the list cannot be read (the user's home may just be missing)
        }
        for (const Found& found : listed.value_or(std::vector<Found>{})) {
            named.insert(found.path);
        }
    }
    std::vector<std::string> unlisted;
    for (Tree* tree : {state_->home(), state_->machine()}) {
        for (const char* data : kClientDataFolders) {
            const std::string folder = std::string("Library/") + data;
            const Listing* names = tree != nullptr ? tree->names(folder) : nullptr;
            std::vector<std::string> found;
            for (std::size_t i = 0; names != nullptr && i < names->size(); ++i) {
                if (carriesBundleIdentifier((*names)[i])) {
                    found.push_back(tree->full(folder + "/" + std::string((*names)[i])));
                }
            }
            std::sort(found.begin(), found.end());
            std::copy_if(found.begin(), found.end(), std::back_inserter(unlisted),
                         [&](const std::string& path) { return named.count(path) == 0; });
        }
    }
    return unlisted;
}

std::optional<std::vector<std::string>> existingPathsRemovedBy(const Session& session,
                                                               const PlannedStep& step) {
    return DiskLook(session).removedBy(step);
}

void findRemovals(const Session& session, Plan& plan) {
    DiskLook look(session);
    for (PlannedStep& step : plan.steps) {
        step.paths = look.removedBy(step).value_or(std::vector<std::string>{});
    }
}

std::optional<std::vector<std::string>> leftoversOf(const Session& session,
                                                    const Plan& uninstallPlan,
                                                    std::optional<TraceScope> only) {
    return DiskLook(session, only).leftovers(uninstallPlan);
}

}  // namespace nimbla
