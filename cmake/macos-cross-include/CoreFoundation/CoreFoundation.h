#pragma once

// The few CoreFoundation declarations the Darwin platform layer uses, for the macOS cross-build
// only, which has no Apple SDK. A build on a Mac never sees this file: it takes the SDK's own
// <CoreFoundation/CoreFoundation.h>. Each declaration is copied in form from the public header
// named beside it (CFBase.h, CFData.h, CFDictionary.h, CFString.h, CFPropertyList.h, CFLocale.h,
// CFDateFormatter.h, CFDate.h, CFTimeZone.h) and must stay identical to it: check any change
// against Apple's published headers. One declaration a line, each exported name after CF_EXPORT:
// cmake/make-tbd.sh reads them from here for the stub library the cross-build links against.

// clang-format off
#define CF_EXPORT extern

#ifdef __cplusplus
extern "C" {
#endif

// CFBase.h (MacTypes.h for the integer types)
typedef unsigned char Boolean;
typedef unsigned char UInt8;
typedef unsigned int UInt32;
typedef signed long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef const void* CFTypeRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef CFTypeRef CFPropertyListRef;
typedef struct {
    CFIndex location;
    CFIndex length;
} CFRange;
CF_EXPORT const CFAllocatorRef kCFAllocatorDefault;
CF_EXPORT const CFAllocatorRef kCFAllocatorNull;
CF_EXPORT CFTypeID CFGetTypeID(CFTypeRef cf);
CF_EXPORT void CFRelease(CFTypeRef cf);

// CFError.h
typedef struct __CFError* CFErrorRef;

// CFData.h
typedef const struct __CFData* CFDataRef;
CF_EXPORT CFDataRef CFDataCreateWithBytesNoCopy(CFAllocatorRef allocator, const UInt8* bytes, CFIndex length, CFAllocatorRef bytesDeallocator);

// CFDictionary.h
typedef const struct __CFDictionary* CFDictionaryRef;
CF_EXPORT CFTypeID CFDictionaryGetTypeID(void);
CF_EXPORT const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key);

// CFString.h
typedef UInt32 CFStringEncoding;
enum { kCFStringEncodingUTF8 = 0x08000100 };
CF_EXPORT CFTypeID CFStringGetTypeID(void);
CF_EXPORT CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes, CFStringEncoding encoding, Boolean isExternalRepresentation);
CF_EXPORT CFIndex CFStringGetLength(CFStringRef theString);
CF_EXPORT CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8 lossByte, Boolean isExternalRepresentation, UInt8* buffer, CFIndex maxBufLen, CFIndex* usedBufLen);

// CFPropertyList.h
typedef CFIndex CFPropertyListFormat;
enum { kCFPropertyListImmutable = 0 };
CF_EXPORT CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef allocator, CFDataRef data, CFOptionFlags options, CFPropertyListFormat* format, CFErrorRef* error);

// CFDate.h
typedef double CFTimeInterval;
typedef CFTimeInterval CFAbsoluteTime;
CF_EXPORT const CFTimeInterval kCFAbsoluteTimeIntervalSince1970;

// CFLocale.h
typedef const struct __CFLocale* CFLocaleRef;
CF_EXPORT CFLocaleRef CFLocaleCopyCurrent(void);

// CFTimeZone.h
CF_EXPORT void CFTimeZoneResetSystem(void);

// CFDateFormatter.h
typedef struct __CFDateFormatter* CFDateFormatterRef;
typedef CFIndex CFDateFormatterStyle;
enum { kCFDateFormatterNoStyle = 0 };
CF_EXPORT CFDateFormatterRef CFDateFormatterCreate(CFAllocatorRef allocator, CFLocaleRef locale, CFDateFormatterStyle dateStyle, CFDateFormatterStyle timeStyle);
CF_EXPORT void CFDateFormatterSetFormat(CFDateFormatterRef formatter, CFStringRef formatString);
CF_EXPORT CFStringRef CFDateFormatterCreateStringWithAbsoluteTime(CFAllocatorRef allocator, CFDateFormatterRef formatter, CFAbsoluteTime at);

#ifdef __cplusplus
}
#endif
// clang-format on
