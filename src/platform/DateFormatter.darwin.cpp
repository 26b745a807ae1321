#include "platform/DateFormatter.h"
#include "platform/CoreFoundation.darwin.h"

namespace nimbla::platform {

// CoreFoundation's formatter, with the same ICU patterns: the user's locale and calendar as
// their settings give them, and the time zone read again each time (a laptop travels).
std::string formatDate(std::string_view pattern, TimePoint when) {
    const auto format = os::makeCFString(pattern);
    const os::CFOwned<CFLocaleRef> locale(CFLocaleCopyCurrent());
    if (!format || !locale) {
        return {};
    }
    CFTimeZoneResetSystem();
    const os::CFOwned<CFDateFormatterRef> formatter(CFDateFormatterCreate(
        kCFAllocatorDefault, locale.get(), kCFDateFormatterNoStyle, kCFDateFormatterNoStyle));
    if (!formatter) {
        return {};
    }
    CFDateFormatterSetFormat(formatter.get(), format.get());
    const auto millis =
        std::chrono::floor<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const CFAbsoluteTime at =
        static_cast<double>(millis) / 1000.0 - kCFAbsoluteTimeIntervalSince1970;
    const os::CFOwned<CFStringRef> text(
        CFDateFormatterCreateStringWithAbsoluteTime(kCFAllocatorDefault, formatter.get(), at));
    return text ? os::utf8Of(text.get()).value_or("") : "";
}

}  // namespace nimbla::platform
