#include "platform/Trust.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace nimbla::platform {

namespace {

constexpr int kMostLinks = 16;

// Why `reached` (already lstat-ed into `st`) may not be trusted, or "".
std::string entryProblem(const std::string& reached, const struct stat& st, int links);

std::string walk(const std::string& path, int links) {
    if (path.empty() || path.front() != '/') {
        return path + ": not an absolute path";
    }
    std::string reached = "/";
    for (std::size_t at = 1;;) {
        struct stat st {};
        if (::lstat(reached.c_str(), &st) != 0) {
            return reached + ": " + std::strerror(errno);
        }
        if (std::string problem = entryProblem(reached, st, links); !problem.empty()) {
            return problem;
        }
        while (at < path.size() && path[at] == '/') {
            ++at;
        }
        if (at >= path.size()) {
            return "";
        }
        const std::size_t end = std::min(path.find('/', at), path.size());
        reached += (reached.size() > 1 ? "/" : "") + path.substr(at, end - at);
        at = end;
    }
}

std::string entryProblem(const std::string& reached, const struct stat& st, int links) {
    if (!S_ISLNK(st.st_mode)) {
        const std::string problem = rootTrustProblem(st.st_uid, st.st_gid, st.st_mode);
        return problem.empty() ? "" : reached + ": " + problem;
    }
    if (st.st_uid != 0) {
        return reached + ": is a symbolic link of user " + std::to_string(st.st_uid) +
               ", not root's";
    }
    if (links >= kMostLinks) {
        return reached + ": too many symbolic links";
    }
    char* target = ::realpath(reached.c_str(), nullptr);
    if (target == nullptr) {
        return reached + ": " + std::strerror(errno);
    }
    const std::string resolved = target;
    ::free(target);
    return walk(resolved, links + 1);
}

}  // namespace

std::string rootTrustProblem(uid_t uid, gid_t gid, mode_t mode) {
    if (uid != 0) {
        return "belongs to user " + std::to_string(uid) + ", not root";
    }
    if ((mode & S_IWOTH) != 0) {
        return "is writable by anyone";
    }
    if ((mode & S_IWGRP) != 0 && gid != 0 && gid != kAdminGroup) {
        return "is writable by group " + std::to_string(gid);
    }
    return "";
}

std::string programTrustProblem(const std::string& path) {
    return walk(path, 0);
}

Seam<std::string(const std::string&)>& programTrustSeam() {
    static Seam<std::string(const std::string&)> seam(programTrustProblem);
    return seam;
}

}  // namespace nimbla::platform
