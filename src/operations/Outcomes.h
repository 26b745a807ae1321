#pragma once

#include <string_view>

#include "platform/NotificationCenter.h"
#include "platform/Queues.h"

// The five outcome notifications. Every press of Reset or Uninstall ends in exactly one of them,
// posted on the default notification center from the main queue.
namespace nimbla::outcomes {

inline constexpr std::string_view resetSuccess = "RESET_SUCCESS";
inline constexpr std::string_view resetFailed = "RESET_FAILED";
inline constexpr std::string_view uninstallSuccess = "UNINSTALL_SUCCESS";
inline constexpr std::string_view uninstallFailed = "UNINSTALL_FAILED";
inline constexpr std::string_view nimblaDriveRunning = "NIMBLA_DRIVE_RUNNING";

// Submits the posting of `name` to the main queue, so its observers run on the main thread.
inline void postFromMainQueue(std::string_view name) {
    platform::dispatchMainAsync(
        [name] { platform::NotificationCenter::defaultCenter().post(name); });
}

}  // namespace nimbla::outcomes
