#include "platform/CoreFoundation.darwin.h"
#include "platform/PropertyListData.h"

namespace nimbla::platform::os {

// CoreFoundation's reader, as every Mac has it (XML, binary and the old text form).
std::optional<std::string> plistStringFromData(std::string_view data, const std::string& key) {
    const CFOwned<CFDataRef> bytes(CFDataCreateWithBytesNoCopy(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(data.data()),
        static_cast<CFIndex>(data.size()), kCFAllocatorNull));
    const auto name = makeCFString(key);
    if (!bytes || !name) {
        return std::nullopt;
    }
    CFErrorRef error = nullptr;
    const CFOwned<CFPropertyListRef> root(CFPropertyListCreateWithData(
        kCFAllocatorDefault, bytes.get(), kCFPropertyListImmutable, nullptr, &error));
    if (error) {
        CFRelease(error);
    }
    if (!root || CFGetTypeID(root.get()) != CFDictionaryGetTypeID()) {
        return std::nullopt;
    }
    const auto value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(root.get()), name.get());
    if (!value || CFGetTypeID(value) != CFStringGetTypeID()) {
        return std::nullopt;
    }
    return utf8Of(static_cast<CFStringRef>(value));
}

}  // namespace nimbla::platform::os
