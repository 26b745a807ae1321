#pragma once

#include <optional>
#include <string>

namespace nimbla::platform {

// The string value stored under `key` in the top-level dictionary of the property list at
// `path` (XML or binary). Nothing when the file is missing or unreadable, is not a property list,
// has no such key, or the value is not a string.
std::optional<std::string> readPlistString(const std::string& path, const std::string& key);

}  // namespace nimbla::platform
