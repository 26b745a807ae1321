#include "platform/PropertyList.h"
namespace nimbla::platform {
std::optional<std::string> readPlistString(const std::string&, const std::string&) { return {}; }
}
