#include "operations/NimblaDriveUtils.h"
namespace nimbla {
bool isNimblaDriveRunning() { return false; }
}
