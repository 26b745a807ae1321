#include "platform/Clock.h"

namespace nimbla::platform {

Seam<TimePoint()>& clockSeam() {
    static Seam<TimePoint()> seam([] { return std::chrono::system_clock::now(); });
    return seam;
}

TimePoint now() {
    return clockSeam()();
}

}  // namespace nimbla::platform
