#include "platform/DateFormatter.h"
namespace nimbla::platform {
std::string formatDate(std::string_view, TimePoint) { return {}; }
}
