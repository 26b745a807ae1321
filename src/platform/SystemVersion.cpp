#include "platform/SystemVersion.h"
namespace nimbla::platform {
OperatingSystemVersion parseOperatingSystemVersion(std::string_view) { return {}; }
OperatingSystemVersion operatingSystemVersion() { return {}; }
}
