#pragma once

#include <optional>
#include <string>
#include <vector>

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

// What a run of that scope's script would remove that exists now, in the order its --list prints
// it: each entry (a pattern matched against its folder's names as the shell does, in byte order),
// skipped when a folder on its way is missing or a link; then, for the user, each vendor folder a
// run would leave empty; for the machine, the receipt files the list names. `home` is the user's
// home folder; none when it cannot be resolved.
std::optional<std::vector<std::string>> listedPaths(const std::vector<TraceEntry>& entries,
                                                    TraceScope scope, const std::string& home);

}  // namespace nimbla
