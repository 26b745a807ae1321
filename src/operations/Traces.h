#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "operations/Plan.h"
#include "process/Session.h"

namespace nimbla {

// What a planned step removes that exists now, one path a line, found the way the step itself
// finds it: the domain's folders, the preferences file, the Application Support folder, or what
// an uninstall script lists with --list (the user's as the user, the administrator's as the tool
// itself). Runs no command that changes anything, and logs nothing.
std::vector<std::string> existingPathsRemovedBy(const Session& session, const PlannedStep& step);

// Fills each step's `removes` with existingPathsRemovedBy.
void findRemovals(const Session& session, Plan& plan);

// One trace of the client on disk.
struct Trace {
    std::string path;
    std::string kind;          // "file", "folder" or "link"
    std::uintmax_t bytes = 0;  // a folder's whole content; links are never followed
    bool kept = false;         // the never-uploaded files' folders: reported, never removed
};

// Every trace of the client on disk: what the reset's and the uninstall's steps would remove,
// then the folders that hold the never-uploaded files (kept).
std::vector<Trace> tracesOnDisk(const Session& session, const Plan& uninstallPlan);

// What an uninstall leaves behind: the paths its steps would still remove (never the folders of
// never-uploaded files).
std::vector<std::string> leftoversOf(const Session& session, const Plan& uninstallPlan);

}  // namespace nimbla
