#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "operations/FolderWalk.h"

namespace nimbla {

// One line of the list of the client's traces that ships beside the uninstall scripts
// (nimbla_drive_traces). The scripts remove what it names; the tool reads the same list to show
// what they would remove and to find what they left, without starting them.
struct TraceEntry {
    enum class Kind {
        Remove,   // removed by a run
        Emptied,  // a vendor folder, removed only when a run leaves it empty
        Receipt,  // a package receipt, forgotten
    };
    Kind kind = Kind::Remove;
    std::string path;  // "~/…" for the user's, absolute for the machine's; the last component may
                       // be a pattern
};

// The list file beside an uninstall script.
std::string traceListBeside(const std::string& script);

// The entries of a list file; none when it cannot be read or a line is not an entry (the scripts
// then refuse to run).
std::optional<std::vector<TraceEntry>> readTraceList(const std::string& file);

// Whose entries: the user's script's (under ~/) or the administrator script's (absolute).
enum class TraceScope { User, Machine };

// Where a Mac app leaves its data, in ~/Library and in /Library: where the client's data that
// the list does not name is looked for.
inline constexpr const char* kClientDataFolders[] = {"Application Support",
                                                     "Caches",
                                                     "Containers",
                                                     "Group Containers",
                                                     "HTTPStorages",
                                                     "Logs",
                                                     "Preferences",
                                                     "Saved Application State",
                                                     "WebKit",
                                                     "Cookies",
                                                     "LaunchAgents",
                                                     "LaunchDaemons",
                                                     "PrivilegedHelperTools"};

// Whether a name carries the client's bundle identifier: "com.nimbla.desktop" or
// "com.nimbla.desktop.<more>", each also after "group." or a team identifier (ten upper-case
// letters or digits) and a dot.
bool carriesBundleIdentifier(std::string_view name);

// The list beside the shipped scripts (found like them), whether or not the scripts are there.
std::optional<std::string> shippedTraceList();

// One path a run would remove: its full path and, below the walk's top, its relative one (empty
// for a receipt file, which is looked at by its path).
struct ListedPath {
    std::string path;
    std::string relative;
};

// What a run of that scope's script would remove that exists now, in the order its --list prints
// it: each entry (a pattern matched against its folder's names as the shell does, in byte order),
// skipped when a folder on its way is missing, a link or on another filesystem than the home;
// then, for the user, each vendor folder a run would leave empty (any name in it, a dot name too,
// keeps it); for the machine, the receipt files the list names. The walk's top is the user's home
// (for the user's scope) or "/" (the machine's); every folder is opened by descriptor (see
// FolderWalk.h).
std::vector<ListedPath> listedIn(const std::vector<TraceEntry>& entries, TraceScope scope,
                                 Tree& tree);

// The same as full paths, from `home` (the user's home folder; none when it is not a folder).
std::optional<std::vector<std::string>> listedPaths(const std::vector<TraceEntry>& entries,
                                                    TraceScope scope, const std::string& home);

}  // namespace nimbla
