#include "operations/Reset.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>

#include "logging/Logger.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Outcomes.h"
#include "platform/Queues.h"
#include "platform/SystemVersion.h"
#include "process/RunProcess.h"

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

constexpr const char* kPreferencesDescription = "Deleting com.nimbla.desktop defaults";
constexpr std::string_view kNoPreferencesError = "Domain (com.nimbla.desktop) not found.";
constexpr const char* kRemoveSupportFolderCommand =
    R"(rm -rf ~/Library/Application\ Support/Nimbla/Nimbla)";
constexpr const char* kSupportFolderDescription = "Removing Application Support Nimbla folder";

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

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

ProcessResult readClientVersion() {
    return runProcessSeam()(kDefaults, {"read", kClientInfoPlist, kVersionKey},
                            kVersionReadDescription);
}

RemovalCommand getDomainRemovalAndArchiveArguments() {
    return domainRemovalFor(readClientVersion());
}

PlannedStep versionReadStep() {
    return {kVersionReadDescription, kDefaults, {"read", kClientInfoPlist, kVersionKey}};
}

PlannedStep domainRemovalStep(const RemovalCommand& command) {
    const auto url = command.find("url");
    const auto parameters = command.find("parameters");
    PlannedStep step{kRemovalDescription, "", {}};
    if (url != command.end() && !url->second.empty()) {
        step.program = url->second.front();
    }
    if (parameters != command.end()) {
        step.arguments = parameters->second;
    }
    return step;
}

std::vector<PlannedStep> resetSteps(const RemovalCommand& command) {
    return {domainRemovalStep(command),
            {kPreferencesDescription, kDefaults, {"delete", kNimblaBundleIdentifier}},
            {kSupportFolderDescription, kShell, {"-c", kRemoveSupportFolderCommand}}};
}

RemovalCommand domainRemovalFor(const ProcessResult& version) {
    std::string url = kShell;
    std::vector<std::string> parameters = {"-c", kFileProviderCtlCommand};

    // The operating system is probed only when the version could be read.
    if (version.succeeded && !isMacOS11orLess()) {
        const bool older = compareVersions(version.output, kVersionThreshold) < 0;
        url = kClientTool;
        parameters = {older ? kArchiveFlag : kPreserveFlag, kDomainDisplayName};
    }
    return {{"url", {url}}, {"parameters", parameters}};
}

bool removeDomainAndArchiveUnsyncedFiles(const std::vector<std::string>& params,
                                         const std::vector<std::string>& url) {
    if (url.empty()) {
        return false;
    }
    const ProcessResult result = runProcessSeam()(url.front(), params, kRemovalDescription);
    return result.succeeded || contains(result.output, kNoDomainOutput) ||
           contains(result.errorOutput, kNoFileProviderError);
}

void resetNimbla(bool preUninstallReset) {
    if (!preUninstallReset && isNimblaDriveRunning()) {
        log("Please quit Nimbla Drive before attempting to reset");
        outcomes::postFromMainQueue(outcomes::nimblaDriveRunning);
        return;
    }

    platform::dispatchBackgroundAsync([preUninstallReset] {
        log("Starting Nimbla Drive reset");
        bool succeeded = false;

        RemovalCommand command = getDomainRemovalAndArchiveArguments();
        const bool domainRemoved =
            removeDomainAndArchiveUnsyncedFiles(command["parameters"], command["url"]);

        const ProcessResult preferences = runProcessSeam()(
            kDefaults, {"delete", kNimblaBundleIdentifier}, kPreferencesDescription);
        const bool preferencesDeleted =
            preferences.succeeded || contains(preferences.errorOutput, kNoPreferencesError);

        const ProcessResult supportFolder = runProcessSeam()(
            kShell, {"-c", kRemoveSupportFolderCommand}, kSupportFolderDescription);

        if (domainRemoved && preferencesDeleted && supportFolder.succeeded) {
            log("Reset Succeeded");
            succeeded = true;
        } else {
            log("Reset Failed");
        }
        // Posted only now, so the final line is in the log before anyone hears of the outcome.
        if (!preUninstallReset) {
            outcomes::postFromMainQueue(succeeded ? outcomes::resetSuccess : outcomes::resetFailed);
        }
    });
}

}  // namespace nimbla
