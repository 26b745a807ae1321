#include "platform/os/SystemVersion.h"

namespace nimbla::platform {

OperatingSystemVersion os::currentSystemVersion() {
    return operatingSystemVersionFrom(kSystemVersionPlist);
}

}  // namespace nimbla::platform
