#include "platform/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <optional>

#include "platform/Trust.h"

namespace nimbla::platform {

namespace {

// Closes the descriptor it holds when it goes.
struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    void reset(int next = -1) {  // keeps errno as the call that gave `next` left it
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        fd = next;
        errno = error;
    }
    int release() {
        const int kept = fd;
        fd = -1;
        return kept;
    }
};

int openAtRetrying(int folder, const char* name, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::openat(folder, name, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

SafeFile refused(const std::string& what, int error, const std::string& why) {
    return SafeFile{-1, false, error, what + ": " + why};
}

// Why the folder open on `fd` may not be passed through, or "".
std::string folderProblem(int fd, uid_t owner) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return std::strerror(errno);
    }
    if (st.st_uid != 0 && st.st_uid != owner) {
        return "belongs to user " + std::to_string(st.st_uid) + ", neither root nor the owner";
    }
    if ((st.st_mode & S_IWOTH) != 0 && (st.st_mode & S_ISVTX) == 0) {
        return "is writable by anyone and not sticky";
    }
    return "";
}

// Opens folder `name` in `parent`, never through a link, creating it as `options` say.
int openFolder(int parent, const std::string& name, const SafeFileOptions& options) {
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = openAtRetrying(parent, name.c_str(), flags);
    if (fd >= 0 || errno != ENOENT || !options.folderMode) {
        return fd;
    }
    if (::mkdirat(parent, name.c_str(), *options.folderMode) != 0 && errno != EEXIST) {
        return -1;
    }
    fd = openAtRetrying(parent, name.c_str(), flags);
    // Owner and mode for what was made here; one made by someone else meanwhile is checked
    // like any other folder (changing its owner fails unless it is the owner's already).
    if (fd >= 0 && ::fchown(fd, options.ownerUid, options.ownerGid) == 0) {
        ::fchmod(fd, *options.folderMode);
    }
    return fd;
}

constexpr int kMostLinks = 16;

// Puts the names of `path` in front of `names`; false when one is "." or "..".
bool prependNames(const std::string& path, std::deque<std::string>& names) {
    std::deque<std::string> split;
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        if (slash > at) {
            split.push_back(path.substr(at, slash - at));
            if (split.back() == "." || split.back() == "..") {
                return false;
            }
        }
        at = slash + 1;
    }
    names.insert(names.begin(), split.begin(), split.end());
    return true;
}

// What the symbolic link `name` in `folder` points to, when it may be followed: a link of
// root's in a folder only root can change. Else nothing, and `problem` says why.
std::optional<std::string> rootsLink(int folder, const std::string& name, std::string& problem) {
    struct stat link {};
    struct stat parent {};
    if (::fstatat(folder, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(link.st_mode)) {
        problem = "is not a folder";
        return std::nullopt;
    }
    if (link.st_uid != 0) {
        problem = "is a symbolic link of user " + std::to_string(link.st_uid) + ", not root's";
        return std::nullopt;
    }
    if (::fstat(folder, &parent) != 0 ||
        !rootTrustProblem(parent.st_uid, parent.st_gid, parent.st_mode).empty()) {
        problem = "is a symbolic link in a folder others can change";
        return std::nullopt;
    }
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlinkat(folder, name.c_str(), target.data(), target.size());
    if (length <= 0 || std::size_t(length) >= target.size()) {
        problem = "is a symbolic link that cannot be read";
        return std::nullopt;
    }
    target.resize(std::size_t(length));
    return target;
}

// Why the file open on `fd` may not be written, or "".
std::string fileProblem(int fd, const SafeFileOptions& options, bool created) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return std::strerror(errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return "is not a regular file";
    }
    if (st.st_nlink != 1) {
        return "has more than one name (a hard link)";
    }
    if (st.st_uid != options.ownerUid) {
        return "belongs to user " + std::to_string(st.st_uid) + ", not " +
               std::to_string(options.ownerUid);
    }
    const mode_t rootGroup =
        options.rootGroupMayWrite && st.st_uid == 0 && st.st_gid == 0 ? S_IWGRP : 0;
    if (!created && (st.st_mode & (S_IWGRP | S_IWOTH) & ~(options.fileMode | rootGroup)) != 0) {
        return "is writable by group or others";
    }
    return "";
}

// Opens into `folder` the folder that holds the last of `names`, walking from "/" as openSafely
// says (the names of a link followed take its place in `names`). Nothing when it did, else the
// refusal.
std::optional<SafeFile> walkToFolder(std::deque<std::string>& names, const SafeFileOptions& options,
                                     Descriptor& folder) {
    const int rootFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    folder.reset(openAtRetrying(AT_FDCWD, "/", rootFlags));
    std::string reached = "/";
    for (int links = 0; folder.fd >= 0;) {
        if (const std::string problem = folderProblem(folder.fd, options.ownerUid);
            !problem.empty()) {
            return refused(reached, EPERM, problem);
        }
        if (names.size() == 1) {
            break;
        }
        const std::string name = names.front();
        names.pop_front();
        const std::string here = reached;
        reached += (reached.size() > 1 ? "/" : "") + name;
        const int next = openFolder(folder.fd, name, options);
        if (next >= 0 || (errno != ELOOP && errno != ENOTDIR)) {
            folder.reset(next);
            continue;
        }
        // Not a folder: a link of root's in a folder only root can change (/var -> private/var
        // on a Mac) is followed, and where it leads is walked like the rest of the path.
        std::string problem;
        const std::optional<std::string> target = rootsLink(folder.fd, name, problem);
        if (!target) {
            return refused(reached, ELOOP, problem);
        }
        if (++links > kMostLinks) {
            return refused(reached, ELOOP, "too many symbolic links");
        }
        if (!prependNames(*target, names)) {
            return refused(reached, ELOOP, "is a symbolic link through \".\" or \"..\"");
        }
        reached = here;
        if (target->front() == '/') {
            folder.reset(openAtRetrying(AT_FDCWD, "/", rootFlags));
            reached = "/";
        }
    }
    if (folder.fd < 0) {
        const int error = errno;
        return refused(reached, error, error == ENOENT ? "no such folder" : std::strerror(error));
    }
    return std::nullopt;
}

}  // namespace

SafeFile openSafely(const std::string& path, const SafeFileOptions& options) {
    std::deque<std::string> names;
    if (!prependNames(path, names)) {
        return refused(path, EINVAL, "holds \".\" or \"..\"");
    }
    if (path.empty() || path.front() != '/' || path.back() == '/' || names.empty() ||
        path.find('\0') != std::string::npos) {
        return refused(path, EINVAL, "not an absolute path to a file");
    }
    Descriptor folder;
    if (std::optional<SafeFile> refusal = walkToFolder(names, options, folder)) {
        return std::move(*refusal);
    }
    const int access =
        options.access == SafeFileOptions::Access::Append ? O_WRONLY | O_APPEND : O_RDWR;
    const int flags = access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    const char* name = names.back().c_str();
    Descriptor file;
    file.reset(openAtRetrying(folder.fd, name, flags | O_CREAT | O_EXCL, options.fileMode));
    const bool created = file.fd >= 0;
    if (created) {
        if (::fchown(file.fd, options.ownerUid, options.ownerGid) != 0 ||
            ::fchmod(file.fd, options.fileMode) != 0) {
            const int error = errno;
            return refused(path, error, "cannot give it its owner and mode");
        }
    } else if (errno == EEXIST) {
        file.reset(openAtRetrying(folder.fd, name, flags));
    }
    if (file.fd < 0) {
        const int error = errno;
        return refused(path, error,
                       error == ELOOP   ? "is a symbolic link"
                       : error == ENXIO ? "is not a regular file"  // a FIFO nobody reads
                                        : std::strerror(error));
    }
    if (const std::string problem = fileProblem(file.fd, options, created); !problem.empty()) {
        return refused(path, EPERM, problem);
    }
    return SafeFile{file.release(), created, 0, ""};
}

}  // namespace nimbla::platform
