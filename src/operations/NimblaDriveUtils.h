#pragma once

namespace nimbla {

inline constexpr const char* kNimblaBundleIdentifier = "com.nimbla.desktop";

// True when a running application's bundle identifier is exactly "com.nimbla.desktop".
bool isNimblaDriveRunning();

}  // namespace nimbla
