#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace nimbla::platform {

// How openSafely opens a file that root writes where a user can write.
struct SafeFileOptions {
    enum class Access { Append, ReadWrite };
    uid_t ownerUid = 0;  // the file belongs to this user (the one it is written for, or root)
    gid_t ownerGid = 0;  // a file or folder created here gets this group
    Access access = Access::Append;
    mode_t fileMode = 0600;  // a file created here gets this mode
    // Missing folders on the way are created with this mode, owned by the owner; none: a missing
    // folder is an error.
    std::optional<mode_t> folderMode = std::nullopt;
    // A file of root's may also be writable by root's group (gid 0), as log rotation leaves one
    // (0660 root:wheel).
    bool rootGroupMayWrite = false;
};

struct SafeFile {
    int fd = -1;           // the open file (close-on-exec, non-blocking), or -1
    bool created = false;  // it was created by this call
    int error = 0;         // on failure: an errno value
    std::string problem;   // on failure: a sentence naming the path and the reason
};

// Opens the file at `path` (absolute), creating it when missing, so that whoever else can write
// on the way cannot redirect the write: the only links followed are root's own in folders only
// root can change, and the file is taken only when it is what it claims.
//  - Each folder is opened from "/" with O_NOFOLLOW | O_DIRECTORY; one that belongs to neither
//    root nor the owner, or that others may write without the sticky bit, is refused. A missing
//    folder is created when `folderMode` says so (with that mode, owned by the owner).
//  - A symbolic link in place of a folder is followed only when it is root's and lies in a folder
//    that passes rootTrustProblem (Trust.h), as a Mac's /var -> private/var, /tmp and /etc do;
//    where it leads is walked like the rest of the path (its folders checked, at most 16 links,
//    never through "." or ".."). Any other link on the path (a user's, one in /tmp) is refused.
//  - The file is opened with O_NOFOLLOW | O_NONBLOCK | O_NOCTTY (so a FIFO or a terminal planted
//    in its place never holds the call), for appending or reading and writing. It is taken only
//    when it is a regular file with one name, owned by `ownerUid`, and writable by group or
//    others only as far as `fileMode` makes a file it creates. A file created here gets
//    `fileMode` (whatever the umask), `ownerUid` and `ownerGid`. `rootGroupMayWrite` also takes a
//    file of root's group that the group may write.
// The caller closes the descriptor. The tool's three uses:
//   the Desktop log:  owner the user,  Append,    fileMode 0644
//   the --log copy:   owner root,      Append,    fileMode 0640, rootGroupMayWrite
//   the run lock:     owner the user,  ReadWrite, fileMode 0600, folderMode 0700
SafeFile openSafely(const std::string& path, const SafeFileOptions& options);

}  // namespace nimbla::platform
