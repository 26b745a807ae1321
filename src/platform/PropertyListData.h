#pragma once

// Internal to the platform layer: the one step of reading a property list that differs per
// system (PropertyList.<os>.cpp). The file itself is read by the shared PropertyList.cpp.

#include <optional>
#include <string>
#include <string_view>

namespace nimbla::platform::os {

// The string under `key` in the top-level dictionary of the property list `data` (XML or
// binary). Nothing when `data` is no property list, its top level is no dictionary, it has no
// such key, or the value is not a string.
std::optional<std::string> plistStringFromData(std::string_view data, const std::string& key);

}  // namespace nimbla::platform::os
