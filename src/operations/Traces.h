#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "operations/Plan.h"
#include "operations/TraceList.h"
#include "process/Session.h"

namespace nimbla {

// The client's application bundle.
inline constexpr const char* kClientBundle = "/Applications/Nimbla.app";

// Whether the client's bundle is there (a folder, or root's link to one), whatever its
// Info.plist says: a bundle whose version cannot be read is still installed.
bool clientBundlePresent();

// How many entries a folder's size is measured through before it is given as unknown.
inline constexpr std::size_t kSizeBudget = 1000;

// One trace of the client on disk.
struct Trace {
    std::string path;
    std::string kind;  // "file", "folder" or "link"
    // A file's size, or a folder's whole content (links never followed, no other filesystem
    // entered); none when it could not be read or a folder holds more entries than the budget.
    std::optional<std::uintmax_t> bytes;
    bool kept = false;  // the never-uploaded files' folders: reported, never removed
};

// One look at the disk for a session: the user's home and the machine's folders, walked by
// descriptor (see FolderWalk.h), each folder opened and read once however many questions are
// asked. Runs no command and logs nothing. Where a list is needed it is the one beside the plan's
// uninstall scripts, or, for a script that is missing, the one shipped beside where it would be:
// its paths still count.
class DiskLook {
public:
    // With `only`, the look is of that scope's part alone (a run for every account removes each
    // user's part as the user, then the machine's once): the other scope's listed paths are not
    // counted though the plan has no step for them.
    explicit DiskLook(const Session& session, std::optional<TraceScope> only = std::nullopt);
    ~DiskLook();
    DiskLook(const DiskLook&) = delete;
    DiskLook& operator=(const DiskLook&) = delete;

    // What a planned step removes that exists now: the domain's folders, the preferences file,
    // the Application Support folder, or what an uninstall script would remove (as its --list
    // prints it); none when that list is missing or unreadable.
    std::optional<std::vector<std::string>> removedBy(const PlannedStep& step);

    // What the uninstall's steps would remove that exists now, each path once (never the folders
    // of never-uploaded files). None when the list cannot be read: nothing can be said.
    std::optional<std::vector<std::string>> leftovers(const Plan& uninstallPlan);

    // Every trace: the leftovers, then the folders that hold never-uploaded files (kept). A
    // folder is measured through `sizeBudget` entries at most (none: in full).
    std::optional<std::vector<Trace>> traces(const Plan& uninstallPlan,
                                             std::optional<std::size_t> sizeBudget);

    // What carries the client's bundle identifier (com.nimbla.desktop, with a team or "group."
    // prefix or not, and its sub-identifiers) directly in the folders where a Mac app leaves its
    // data, in the user's ~/Library and the machine's /Library, and that the list does not name:
    // reported, never removed. None when the list cannot be read.
    std::optional<std::vector<std::string>> unlisted(const Plan& uninstallPlan);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// DiskLook(session).removedBy(step).
std::optional<std::vector<std::string>> existingPathsRemovedBy(const Session& session,
                                                               const PlannedStep& step);

// Fills each step's `paths` with what it removes (nothing where that is not known).
void findRemovals(const Session& session, Plan& plan);

// DiskLook(session).leftovers(uninstallPlan).
std::optional<std::vector<std::string>> leftoversOf(const Session& session,
                                                    const Plan& uninstallPlan,
                                                    std::optional<TraceScope> only = std::nullopt);

}  // namespace nimbla
