#include "process/Utf8.h"
namespace nimbla {
bool isValidUtf8(std::string_view) { return true; }
}
