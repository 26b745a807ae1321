#include "platform/DateFormatter.h"

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <memory>

namespace nimbla::platform {

std::string formatDate(std::string_view pattern, TimePoint when) {
    UErrorCode status = U_ZERO_ERROR;
    const auto icuPattern = icu::UnicodeString::fromUTF8(
        icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
    icu::SimpleDateFormat formatter(icuPattern, icu::Locale::getDefault(), status);
    if (U_FAILURE(status)) {
        return {};
    }
    // The locale brings its own calendar; the zone is the process's current default (TZ).
    formatter.adoptTimeZone(icu::TimeZone::createDefault());

    const auto millis =
        std::chrono::floor<std::chrono::milliseconds>(when.time_since_epoch()).count();
    icu::UnicodeString text;
    formatter.format(static_cast<UDate>(millis), text);
    std::string result;
    text.toUTF8String(result);
    return result;
}

}  // namespace nimbla::platform
