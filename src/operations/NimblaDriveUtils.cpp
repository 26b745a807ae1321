#include "operations/NimblaDriveUtils.h"

#include "platform/Workspace.h"

namespace nimbla {

bool isNimblaDriveRunning() {
    for (const platform::RunningApplication& application : platform::runningApplications()) {
        if (application.bundleIdentifier &&
            *application.bundleIdentifier == kNimblaBundleIdentifier) {
            return true;
        }
    }
    return false;
}

}  // namespace nimbla
