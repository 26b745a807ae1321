#include "operations/TraceList.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

namespace nimbla {

namespace {

constexpr const char* kListName = "nimbla_drive_traces";

bool isPattern(const std::string& name) {
    return name.find_first_of("*?[") != std::string::npos;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool isRealFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The names in a folder (without "." and ".."), in byte order; none when it cannot be read.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The entry itself, or the names in its folder its last component matches (a leading dot only
// by a leading dot, as the shell's globbing does).
void expand(const std::string& path, std::vector<std::string>& into) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = path.substr(0, slash);
    const std::string name = path.substr(slash + 1);
    if (!isPattern(name)) {
        into.push_back(path);
        return;
    }
    for (const std::string& found : namesIn(folder.empty() ? "/" : folder)) {
        if (::fnmatch(name.c_str(), found.c_str(), FNM_PERIOD) == 0) {
            into.push_back(folder + "/" + found);
        }
    }
}

// Whether every folder from `top` down to the entry's own is a real folder (no link, none
// missing), as the scripts require before they touch an entry.
bool reachable(const std::string& top, const std::string& path) {
    std::size_t slash = top.size();
    while ((slash = path.find('/', slash + 1)) != std::string::npos) {
        if (!isRealFolder(path.substr(0, slash))) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> physical(const std::string& home) {
    char resolved[PATH_MAX];
    if (home.empty() || home.front() != '/' || ::realpath(home.c_str(), resolved) == nullptr ||
        !isRealFolder(resolved)) {
        return std::nullopt;
    }
    return std::string(resolved);
}

bool onlyTargetsIn(const std::string& folder, const std::vector<std::string>& targets) {
    const std::vector<std::string> names = namesIn(folder);
    return std::all_of(names.begin(), names.end(), [&](const std::string& name) {
        return std::find(targets.begin(), targets.end(), folder + "/" + name) != targets.end();
    });
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

std::optional<std::vector<std::string>> listedPaths(const std::vector<TraceEntry>& entries,
                                                    TraceScope scope, const std::string& home) {
    std::string top;  // where the scope's paths begin: the physical home, or the root
    if (scope == TraceScope::User) {
        const std::optional<std::string> resolved = physical(home);
        if (!resolved) {
            return std::nullopt;
        }
        top = *resolved;
    }
    const auto inScope = [&](const TraceEntry& entry, TraceEntry::Kind kind) {
        return entry.kind == kind && (scope == TraceScope::User) == entry.path.starts_with("~/");
    };
    const auto full = [&](const std::string& path) {
        return scope == TraceScope::User ? top + path.substr(1) : path;
    };
    std::vector<std::string> targets;
    for (const TraceEntry& entry : entries) {
        if (inScope(entry, TraceEntry::Kind::Remove)) {
            expand(full(entry.path), targets);
        }
    }
    std::vector<std::string> listed;
    for (const std::string& target : targets) {
        if (reachable(top, target) && exists(target)) {
            listed.push_back(target);
        }
    }
    for (const TraceEntry& entry : entries) {
        const std::string path = full(entry.path);
        if (inScope(entry, TraceEntry::Kind::Emptied) && reachable(top, path) &&
            isRealFolder(path) && onlyTargetsIn(path, targets)) {
            listed.push_back(path);
        } else if (inScope(entry, TraceEntry::Kind::Receipt)) {
            std::vector<std::string> receipts;
            expand(path, receipts);  // no check of the folders on the way: /var is a link on a Mac
            std::copy_if(receipts.begin(), receipts.end(), std::back_inserter(listed), exists);
        }
    }
    return listed;
}

}  // namespace nimbla
