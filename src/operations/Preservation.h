#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace nimbla {

// Where the client's own tool puts files that were never uploaded when it removes the domain:
// the archive folder in the home folder (archive flag, and fileproviderctl on older systems), or a
// dated folder in ~/Library/CloudStorage named with this prefix (preserve flag).
inline constexpr const char* kArchiveFolderName = "Nimbla-Nimbla (Archive)";
inline constexpr const char* kPreservedFolderPrefix = "Nimbla-Nimbla (";

// The folders never-uploaded files may go to in `home`, each with the newest change time of the
// folder and its direct entries. Only one level is looked at, so a large archive costs no walk
// through all of it; a run that adds to an existing archive changes the folder or one of its
// entries. Links are never followed.
using FolderTimes = std::map<std::string, std::filesystem::file_time_type>;
FolderTimes preservationFolders(const std::string& home);

// The folder created between two looks, else the one changed between them; none when neither.
std::optional<std::string> preservedDuring(const FolderTimes& before, const FolderTimes& after);

}  // namespace nimbla
