#include "operations/Preservation.h"

namespace nimbla {

namespace fs = std::filesystem;

namespace {

fs::file_time_type newestIn(const fs::path& folder) {
    std::error_code error;
    fs::file_time_type newest = fs::last_write_time(folder, error);
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        const auto time = fs::last_write_time(it->path(), ignored);
        if (!ignored && time > newest) {
            newest = time;
        }
    }
    return newest;
}

}  // namespace

FolderTimes preservationFolders(const std::string& home) {
    FolderTimes folders;
    std::error_code error;
    const fs::path archive = fs::path(home) / kArchiveFolderName;
    if (fs::symlink_status(archive, error).type() == fs::file_type::directory) {
        folders[archive.string()] = newestIn(archive);
    }
    for (fs::directory_iterator it(fs::path(home) / "Library" / "CloudStorage", error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(kPreservedFolderPrefix) && it->is_directory(error) &&
            !it->is_symlink(error)) {
            folders[it->path().string()] = newestIn(it->path());
        }
    }
    return folders;
}

std::optional<std::string> preservedDuring(const FolderTimes& before, const FolderTimes& after) {
    std::optional<std::string> changed;
    for (const auto& [path, time] : after) {
        const auto earlier = before.find(path);
        if (earlier == before.end()) {
            return path;
        }
        if (time != earlier->second && !changed) {
            changed = path;
        }
    }
    return changed;
}

}  // namespace nimbla
