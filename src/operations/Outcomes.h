#pragma once

#include <string_view>

// The five outcome notifications. Every press of Reset or Uninstall ends in exactly one of them,
// posted on the default notification center from the main queue.
namespace nimbla::outcomes {

inline constexpr std::string_view resetSuccess = "RESET_SUCCESS";
inline constexpr std::string_view resetFailed = "RESET_FAILED";
inline constexpr std::string_view uninstallSuccess = "UNINSTALL_SUCCESS";
inline constexpr std::string_view uninstallFailed = "UNINSTALL_FAILED";
inline constexpr std::string_view nimblaDriveRunning = "NIMBLA_DRIVE_RUNNING";

}  // namespace nimbla::outcomes
