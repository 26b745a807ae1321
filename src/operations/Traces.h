#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "operations/Plan.h"
#include "process/Session.h"

namespace nimbla {

// What a planned step removes that exists now: the domain's folders, the preferences file, the
// Application Support folder, or what an uninstall script would remove (as its --list prints it,
// read from the list beside it; none when that list is missing or unreadable). Runs no command
// and logs nothing.
std::optional<std::vector<std::string>> existingPathsRemovedBy(const Session& session,
                                                               const PlannedStep& step);

// Fills each step's `paths` with existingPathsRemovedBy (nothing where it has none).
void findRemovals(const Session& session, Plan& plan);

// One trace of the client on disk.
struct Trace {
    std::string path;
    std::string kind;          // "file", "folder" or "link"
    std::uintmax_t bytes = 0;  // a folder's whole content; links are never followed
    bool kept = false;         // the never-uploaded files' folders: reported, never removed
};

// Every trace of the client on disk: what the uninstall's steps would remove, then the folders
// that hold the never-uploaded files (kept). None when a script's list cannot be read.
std::optional<std::vector<Trace>> tracesOnDisk(const Session& session, const Plan& uninstallPlan);

// What an uninstall leaves behind: the paths its steps would still remove (never the folders of
// never-uploaded files). None when a script's list cannot be read: nothing can be said.
std::optional<std::vector<std::string>> leftoversOf(const Session& session,
                                                    const Plan& uninstallPlan);

}  // namespace nimbla
