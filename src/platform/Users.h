#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"

namespace nimbla::platform {

// An account from the user database, ready to run a child as (RunAs): uid, primary gid, every
// group it belongs to, its name, its home folder (without a trailing "/") and its login shell.
std::optional<RunAs> lookUpUser(const std::string& name);
std::optional<RunAs> lookUpUser(uid_t uid);

// Every account of the user database, in the order it lists them (through getpwent, which
// directory services answer on macOS). Accounts whose entry has no usable home are left out.
std::vector<RunAs> allAccounts();

// The user at the machine's console: the owner of /dev/console when that is not root. None when
// nobody is logged in at the console, or the platform has no such notion (on Linux the console
// normally belongs to root).
std::optional<RunAs> consoleUser();

}  // namespace nimbla::platform
