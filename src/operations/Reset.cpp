#include "operations/Reset.h"
namespace nimbla {
RemovalCommand getDomainRemovalAndArchiveArguments() { return {}; }
bool removeDomainAndArchiveUnsyncedFiles(const std::vector<std::string>&, const std::vector<std::string>&) { return false; }
bool isMacOS11orLess() { return false; }
int compareVersions(const std::string&, const std::string&) { return 0; }
void resetNimbla(bool) {}
}
