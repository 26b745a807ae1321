#pragma once

// Internal to the Darwin platform layer: CoreFoundation objects owned by a smart pointer, and
// text between UTF-8 and CFString.

#include <CoreFoundation/CoreFoundation.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace nimbla::platform::os {

struct CFReleaser {
    void operator()(CFTypeRef object) const { CFRelease(object); }
};
// Owns a CoreFoundation object got from a Create or Copy function (the null reference is empty).
template <typename Ref>
using CFOwned = std::unique_ptr<std::remove_pointer_t<Ref>, CFReleaser>;

// A CFString of `text`; empty when it is not UTF-8.
inline CFOwned<CFStringRef> makeCFString(std::string_view text) {
    return CFOwned<CFStringRef>(
        CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                                static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false));
}

// The UTF-8 bytes of `string`, every character of it (NUL included).
inline std::optional<std::string> utf8Of(CFStringRef string) {
    const CFRange all = {0, CFStringGetLength(string)};
    CFIndex size = 0;
    if (CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false, nullptr, 0, &size) !=
        all.length) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false,
                     reinterpret_cast<UInt8*>(text.data()), size, nullptr);
    return text;
}

}  // namespace nimbla::platform::os
