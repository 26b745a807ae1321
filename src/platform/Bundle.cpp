#include "platform/Bundle.h"
namespace nimbla::platform {
BundleInfo mainBundle() { return {}; }
Seam<BundleInfo()>& mainBundleSeam() { static Seam<BundleInfo()> s(mainBundle); return s; }
std::optional<std::string> pathForResource(const std::string&, const std::string&) { return {}; }
std::optional<std::string> shortVersion() { return {}; }
}
