#include "operations/Uninstall.h"
namespace nimbla {
void uninstallNimbla() {}
std::string privilegedCommandFor(const std::string& p) { return p; }
}
