#include "operations/TraceList.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <unordered_set>

#include "platform/Bundle.h"

namespace nimbla {

namespace {

constexpr const char* kListName = "nimbla_drive_traces";

bool isPattern(const std::string& name) {
    return name.find_first_of("*?[") != std::string::npos;
}

// A name pattern as the shell matches it (a leading dot only by a leading dot), with the text
// every match begins and ends with checked first, so that a folder of many names costs one
// comparison a name.
class Pattern {
public:
    explicit Pattern(std::string text) : text_(std::move(text)) {
        prefix_ = text_.substr(0, text_.find_first_of("*?[\\"));
        const std::size_t last = text_.find_last_of("*?[]\\");
        suffix_ = last == std::string::npos ? text_ : text_.substr(last + 1);
    }
    bool matches(std::string_view name) const {
        return name.size() >= prefix_.size() + suffix_.size() && name.starts_with(prefix_) &&
               name.ends_with(suffix_) &&
               ::fnmatch(text_.c_str(), std::string(name).c_str(), FNM_PERIOD) == 0;
    }

private:
    std::string text_, prefix_, suffix_;
};

// The entry itself, or the names in its folder its last component matches, in byte order.
void expand(Tree& tree, const std::string& relative, std::vector<std::string>& into) {
    const auto [folder, name] = splitLast(relative);
    if (!isPattern(name)) {
        into.push_back(relative);
        return;
    }
    const Listing* names = tree.names(folder);
    if (names == nullptr) {
        return;
    }
    const Pattern pattern(name);
    std::vector<std::string> found;
    for (std::size_t i = 0; i < names->size(); ++i) {
        if (pattern.matches((*names)[i])) {
            found.emplace_back((*names)[i]);
        }
    }
    std::sort(found.begin(), found.end());
    for (const std::string& match : found) {
        into.push_back(folder + "/" + match);
    }
}

// Whether every name in the folder is one of the targets, so a run would leave it empty.
bool onlyTargetsIn(Tree& tree, const std::string& folder,
                   const std::unordered_set<std::string>& targets) {
    const Listing* names = tree.names(folder);
    if (names == nullptr) {
        return false;
    }
    for (std::size_t i = 0; i < names->size(); ++i) {
        if (targets.count(folder + "/" + std::string((*names)[i])) == 0) {
            return false;
        }
    }
    return true;
}

// The receipt files a receipt entry names, looked at by path: on a Mac /var is root's link.
void receiptsFor(const std::string& path, std::vector<ListedPath>& into) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = path.substr(0, slash);
    const std::string name = path.substr(slash + 1);
    const std::optional<Folder> at = Folder::open(folder.empty() ? "/" : folder, false);
    if (!at) {
        return;
    }
    std::vector<std::string> found;
    if (!isPattern(name)) {
        if (at->look(name)) {
            found.push_back(name);
        }
    } else {
        const Pattern pattern(name);
        at->names([&](std::string_view each) {
            if (pattern.matches(each)) {
                found.emplace_back(each);
            }
            return true;
        });
        std::sort(found.begin(), found.end());
    }
    for (const std::string& each : found) {
        into.push_back({folder + "/" + each, ""});
    }
}

}  // namespace

std::string traceListBeside(const std::string& script) {
    const std::size_t slash = script.rfind('/');
    return (slash == std::string::npos ? std::string(".") : script.substr(0, slash)) + "/" +
           kListName;
}

std::optional<std::vector<TraceEntry>> readTraceList(const std::string& file) {
    std::ifstream in(file);
    if (!in) {
        return std::nullopt;
    }
    std::vector<TraceEntry> entries;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t tab = line.find('\t');
        const std::string kind = line.substr(0, tab);
        const std::string path = tab == std::string::npos ? "" : line.substr(tab + 1);
        const bool user = path.size() > 2 && path.starts_with("~/");
        const bool machine = path.size() > 1 && path.front() == '/';
        if (kind == "remove" && (user || machine)) {
            entries.push_back({TraceEntry::Kind::Remove, path});
        } else if (kind == "emptied" && user) {
            entries.push_back({TraceEntry::Kind::Emptied, path});
        } else if (kind == "receipt" && machine) {
            entries.push_back({TraceEntry::Kind::Receipt, path});
        } else {
            return std::nullopt;
        }
    }
    return entries;
}

bool carriesBundleIdentifier(std::string_view name) {
    constexpr std::string_view identifier = "com.nimbla.desktop";
    const auto isTeam = [](std::string_view text) {
        return text.size() == 10 && std::all_of(text.begin(), text.end(), [](char c) {
                   return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
               });
    };
    if (name.starts_with("group.")) {
        name.remove_prefix(6);
    } else if (name.size() > 11 && name[10] == '.' && isTeam(name.substr(0, 10))) {
        name.remove_prefix(11);
    }
    return name.starts_with(identifier) &&
           (name.size() == identifier.size() ||
            (name.size() > identifier.size() + 1 && name[identifier.size()] == '.'));
}

std::optional<std::string> shippedTraceList() {
    return platform::pathForResource(kListName, "");
}

std::vector<ListedPath> listedIn(const std::vector<TraceEntry>& entries, TraceScope scope,
                                 Tree& tree) {
    const auto inScope = [&](const TraceEntry& entry, TraceEntry::Kind kind) {
        return entry.kind == kind && (scope == TraceScope::User) == entry.path.starts_with("~/");
    };
    // "~/Library/x" and "/Library/x" alike: "Library/x" below the walk's top.
    const auto relative = [](const std::string& path) {
        return path.substr(path.starts_with("~/") ? 2 : 1);
    };
    std::vector<std::string> targets;
    for (const TraceEntry& entry : entries) {
        if (inScope(entry, TraceEntry::Kind::Remove)) {
            expand(tree, relative(entry.path), targets);
        }
    }
    std::vector<ListedPath> listed;
    for (const std::string& target : targets) {
        if (tree.look(target)) {
            listed.push_back({tree.full(target), target});
        }
    }
    const std::unordered_set<std::string> targetSet(targets.begin(), targets.end());
    for (const TraceEntry& entry : entries) {
        if (inScope(entry, TraceEntry::Kind::Emptied)) {
            const std::string folder = relative(entry.path);
            const std::optional<struct stat> st = tree.look(folder);
            if (st && S_ISDIR(st->st_mode) && onlyTargetsIn(tree, folder, targetSet)) {
                listed.push_back({tree.full(folder), folder});
            }
        } else if (inScope(entry, TraceEntry::Kind::Receipt)) {
            receiptsFor(entry.path, listed);
        }
    }
    return listed;
}

std::optional<std::vector<std::string>> listedPaths(const std::vector<TraceEntry>& entries,
                                                    TraceScope scope, const std::string& home) {
    std::optional<Tree> tree =
        scope == TraceScope::User ? Tree::open(home, true) : Tree::open("/", false);
    if (!tree) {
        return std::nullopt;
    }
    std::vector<std::string> paths;
    for (ListedPath& listed : listedIn(entries, scope, *tree)) {
        paths.push_back(std::move(listed.path));
    }
    return paths;
}

}  // namespace nimbla
