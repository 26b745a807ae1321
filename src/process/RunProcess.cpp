#include "process/RunProcess.h"

namespace nimbla {
ProcessResult runProcess(const std::string&, const std::vector<std::string>&, const std::string&) { return {}; }
platform::Seam<RunProcessFn>& runProcessSeam() { static platform::Seam<RunProcessFn> s(runProcess); return s; }
}  // namespace nimbla
