#include "operations/DomainRemoval.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/SystemVersion.h"

namespace nimbla {

namespace {

constexpr const char* kDefaults = "/usr/bin/defaults";
constexpr const char* kClientInfoPlist = "/Applications/Nimbla.app/Contents/Info.plist";
constexpr const char* kVersionKey = "CFBundleShortVersionString";
constexpr const char* kVersionReadDescription = "Reading tolu version from defaults";
constexpr const char* kVersionThreshold = "2.36.74";

constexpr const char* kShell = "/bin/bash";
constexpr const char* kFileProviderCtlCommand =
    "fileproviderctl domain remove -A com.nimbla.desktop.nimblafileprovider";
constexpr const char* kClientTool = "/Applications/Nimbla.app/Contents/MacOS/fpe/rivlet";
constexpr const char* kArchiveFlag = "--remove-fpe-domain-and-archive-unsynced-content";
constexpr const char* kPreserveFlag = "--remove-fpe-domain-and-preserve-unsynced-content";
constexpr const char* kDomainDisplayName = "Nimbla";
constexpr const char* kRemovalDescription = "Removing Nimbla domain";
constexpr std::string_view kNoDomainOutput =
    "No existing domain was found with display name: Nimbla";
constexpr std::string_view kNoFileProviderError =
    "File provider com.nimbla.desktop.nimblafileprovider not found";

// The leading "n.n.n" of a version text as its digit runs, each without leading zeros, so that
// components of any length compare without overflow. Nothing when the text does not start with
// a digit.
std::optional<std::vector<std::string_view>> versionComponents(std::string_view text) {
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (text.empty() || !isDigit(text.front())) {
        return std::nullopt;
    }
    std::vector<std::string_view> components;
    std::size_t pos = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        std::size_t start = pos;
        while (pos < text.size() && isDigit(text[pos])) {
            ++pos;
        }
        std::string_view digits = text.substr(start, pos - start);
        digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
        components.push_back(digits);
        if (pos + 1 < text.size() && text[pos] == '.' && isDigit(text[pos + 1])) {
            ++pos;
        } else {
            break;
        }
    }
    return components;
}

int compareComponent(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

std::string_view withoutLineEnd(std::string_view text) {
    if (text.ends_with("\r\n")) {
        text.remove_suffix(2);
    } else if (text.ends_with('\n') || text.ends_with('\r')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

int compareVersions(const std::string& version, const std::string& threshold) {
    auto ours = versionComponents(withoutLineEnd(version));
    auto theirs = versionComponents(withoutLineEnd(threshold));
    if (!ours || !theirs) {
        return ours ? 1 : (theirs ? -1 : 0);
    }
    const std::size_t count = std::max(ours->size(), theirs->size());
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view a = i < ours->size() ? (*ours)[i] : std::string_view();
        std::string_view b = i < theirs->size() ? (*theirs)[i] : std::string_view();
        if (int order = compareComponent(a, b); order != 0) {
            return order;
        }
    }
    return 0;
}

bool isMacOS11orLess() {
    return platform::operatingSystemVersion() < platform::OperatingSystemVersion{12, 0, 0};
}

PlannedStep versionReadStep() {
    return {kVersionReadDescription, {kDefaults, {"read", kClientInfoPlist, kVersionKey}}};
}

ProcessResult readClientVersion(const Session& session) {
    const PlannedStep step = versionReadStep();
    // A version that cannot be read fails nothing: the domain removal then takes the system's
    // command. Only a signal ends it as not done.
    Session judged = session;
    if (session.observer) {
        judged.observer = [&session](const StepEvent& event) {
            StepEvent told = event;
            told.countedAsDone =
                event.phase == StepEvent::Phase::Ended && !event.succeeded && event.signal == 0;
            session.observer(told);
        };
    }
    return runProcessSeam()(judged, step.command.program, step.command.arguments, step.description);
}

std::optional<std::string> versionText(const ProcessResult& read) {
    if (!read.succeeded) {
        return std::nullopt;
    }
    return std::string(withoutLineEnd(read.output));
}

Command getDomainRemovalAndArchiveArguments(const ProcessResult& version) {
    if (version.succeeded && !isMacOS11orLess()) {
        const bool older = compareVersions(version.output, kVersionThreshold) < 0;
        return {kClientTool, {older ? kArchiveFlag : kPreserveFlag, kDomainDisplayName}};
    }
    return {kShell, {"-c", kFileProviderCtlCommand}};
}

PlannedStep removeDomainAndArchiveUnsyncedFiles(const Command& command) {
    PlannedStep step{kRemovalDescription, command, false, kNoDomainOutput, kNoFileProviderError};
    step.removes = Removal::Domain;
    return step;
}

}  // namespace nimbla
