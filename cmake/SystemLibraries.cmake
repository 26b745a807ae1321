# The system libraries under the platform layer, for the core to link: NIMBLA_SYSTEM_LIBRARIES.
# On macOS that is CoreFoundation alone (property lists and dates), so that every program loads
# dylibs only from /usr/lib and /System/Library, as every Mac has them; the C++ runtime is the
# toolchain's (the system's libc++ on a Mac, the cross toolchain's static one). On Linux, libplist
# and ICU. NIMBLA_ICU_LIBRARIES: what the Linux tests use ICU's own API through (none on macOS).
if(APPLE AND CMAKE_CROSSCOMPILING)
    include(${CMAKE_CURRENT_LIST_DIR}/MacosCross.cmake)
elseif(APPLE)
    find_library(NIMBLA_COREFOUNDATION CoreFoundation REQUIRED)
    add_library(Nimbla::CoreFoundation INTERFACE IMPORTED)
    set_target_properties(Nimbla::CoreFoundation PROPERTIES
        INTERFACE_LINK_LIBRARIES ${NIMBLA_COREFOUNDATION})
endif()

if(APPLE)
    set(NIMBLA_SYSTEM_LIBRARIES Nimbla::CoreFoundation)
    set(NIMBLA_ICU_LIBRARIES)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
    find_package(ICU REQUIRED COMPONENTS i18n uc)
    set(NIMBLA_SYSTEM_LIBRARIES PkgConfig::PLIST ICU::i18n ICU::uc)
    set(NIMBLA_ICU_LIBRARIES ICU::i18n ICU::uc)
endif()
