#include "logging/Logger.h"

namespace nimbla {
LogDestination::LogDestination() {}
void LogDestination::write(std::string_view) const {}
std::string logPathFor(const std::string&, platform::TimePoint) { return {}; }
LogDestination& dest() { static LogDestination d; return d; }
void log(std::string_view) {}
}  // namespace nimbla
