#pragma once

#include <string>

#include "platform/Seam.h"

namespace nimbla::platform {

// The home folder of the user running the tool, without a trailing "/": $HOME when it is set
// and absolute, else the password database's entry for the real user id. Empty only when
// neither gives an answer. Tests replace it through homeDirectorySeam().
std::string homeDirectory();
Seam<std::string()>& homeDirectorySeam();

}  // namespace nimbla::platform
