#include "platform/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

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

}  // namespace

SafeFile openSafely(const std::string& path, const SafeFileOptions& options) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        if (slash > at) {
            names.push_back(path.substr(at, slash - at));
            if (names.back() == "." || names.back() == "..") {
                return refused(path, EINVAL, "holds \".\" or \"..\"");
            }
        }
        at = slash + 1;
    }
    if (path.empty() || path.front() != '/' || path.back() == '/' || names.empty() ||
        path.find('\0') != std::string::npos) {
        return refused(path, EINVAL, "not an absolute path to a file");
    }
    Descriptor folder;
    folder.reset(openAtRetrying(AT_FDCWD, "/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string reached = "/";
    for (std::size_t i = 0; folder.fd >= 0; ++i) {
        if (const std::string problem = folderProblem(folder.fd, options.ownerUid);
            !problem.empty()) {
            return refused(reached, EPERM, problem);
        }
        if (i + 1 == names.size()) {
            break;
        }
        reached += (reached.size() > 1 ? "/" : "") + names[i];
        folder.reset(openFolder(folder.fd, names[i], options));
    }
    if (folder.fd < 0) {
        const int error = errno;
        return refused(reached, error,
                       error == ELOOP || error == ENOTDIR ? "is a symbolic link or not a folder"
                       : error == ENOENT                  ? "no such folder"
                                                          : std::strerror(error));
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
