# Cross-compiles for macOS 11 and later with `zig c++`, which carries Apple's libc headers and
# libSystem stubs. Used by the macos-arm64 and macos-x86_64 presets to check that the Qt-free core,
# the command line and the core's test programs compile and link for a Mac; nothing built here can
# run on this machine. Zig comes from `scripts/bootstrap --zig`.
#   NIMBLA_MACOS_ARCH   aarch64 or x86_64 (the preset sets it)
#   NIMBLA_ZIG          the zig executable (default: the one the bootstrap installs)
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 20.0)  # Darwin 20 is macOS 11
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES NIMBLA_MACOS_ARCH NIMBLA_ZIG)

if(NOT NIMBLA_MACOS_ARCH)
    set(NIMBLA_MACOS_ARCH aarch64)
endif()
if(NIMBLA_MACOS_ARCH STREQUAL "aarch64")
    set(CMAKE_SYSTEM_PROCESSOR arm64)
elseif(NIMBLA_MACOS_ARCH STREQUAL "x86_64")
    set(CMAKE_SYSTEM_PROCESSOR x86_64)
else()
    message(FATAL_ERROR "NIMBLA_MACOS_ARCH must be aarch64 or x86_64, not '${NIMBLA_MACOS_ARCH}'")
endif()

if(NOT NIMBLA_ZIG)
    if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
        set(_cache "$ENV{XDG_CACHE_HOME}")
    else()
        set(_cache "$ENV{HOME}/.cache")
    endif()
    set(NIMBLA_ZIG "${_cache}/nimbla-reset-tool/zig-0.11.0/zig")
endif()
if(NOT EXISTS "${NIMBLA_ZIG}")
    message(FATAL_ERROR "No zig at ${NIMBLA_ZIG}: run scripts/bootstrap --zig")
endif()

# CMake takes one program per tool, so each zig subcommand gets a small wrapper. The compilers
# drop -Wl,-v, which CMake's compiler checks pass and zig's linker refuses. The archive is written
# in the Darwin format; the archiver already indexes it, so ranlib has nothing to do.
set(_target "${NIMBLA_MACOS_ARCH}-macos.11.0")
set(_wrappers "${CMAKE_BINARY_DIR}/zig-${_target}")
foreach(_tool cc c++ ar ranlib)
    if(_tool STREQUAL "ar")
        set(_command "\"${NIMBLA_ZIG}\" ar --format=darwin \"$@\"")
    elseif(_tool STREQUAL "ranlib")
        set(_command "true")
    else()
        set(_command "\"${NIMBLA_ZIG}\" ${_tool} -target ${_target} \"$@\"")
    endif()
    set(_script "#!/bin/sh\nfor arg do\n    shift\n    [ \"$arg\" = -Wl,-v ] || set -- \"$@\" \"$arg\"\ndone\nexec ${_command}\n")
    set(_file "${_wrappers}/${_tool}")
    if(EXISTS "${_file}")
        file(READ "${_file}" _old)
    else()
        set(_old "")
    endif()
    if(NOT _old STREQUAL _script)
        file(WRITE "${_file}" "${_script}")
        file(CHMOD "${_file}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
             GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
endforeach()

set(CMAKE_C_COMPILER "${_wrappers}/cc")
set(CMAKE_CXX_COMPILER "${_wrappers}/c++")
set(CMAKE_AR "${_wrappers}/ar" CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB "${_wrappers}/ranlib" CACHE FILEPATH "" FORCE)
set(CMAKE_OSX_SYSROOT "" CACHE PATH "" FORCE)
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "" FORCE)

# Nothing of this machine's libraries or headers is taken by accident: only what the project
# names on purpose (Debian's ICU and libplist headers, GoogleTest's sources).
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
