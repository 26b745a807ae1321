#pragma once

#include <sys/types.h>

#include <string>

#include "platform/Seam.h"

namespace nimbla::platform {

// The Mac's administrators' group ("admin", which owns /Applications): its members can become
// root, so what they may change root may trust.
inline constexpr gid_t kAdminGroup = 80;

// Why root may not trust a file, folder or link with this owner, group and mode (as stat gives
// them), or "": it must be root's, writable by nobody else (never by others; by its group only
// when that is root's group, 0, or kAdminGroup).
std::string rootTrustProblem(uid_t uid, gid_t gid, mode_t mode);

// Why root may not run the file at `path` (absolute), or "": the file and every folder above it
// must pass rootTrustProblem. A symbolic link on the way counts only when it is root's (its folder
// passed already); what it points to is checked the same way, up to 16 links. This is the stat
// walk the privileged runner does before it runs a file the tool ships.
std::string programTrustProblem(const std::string& path);
Seam<std::string(const std::string&)>& programTrustSeam();

}  // namespace nimbla::platform
