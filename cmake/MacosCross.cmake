# The libraries of a macOS cross-build (cmake/macos-zig.cmake), as a build on a Mac finds them.
# There is no Apple SDK here: Nimbla::CoreFoundation is our own small header of the few
# declarations the Darwin platform layer uses (cmake/macos-cross-include/) and, at link time, a
# text-based stub exporting exactly those names under CoreFoundation's real install name, so a
# call to anything not declared there fails the link and the programs load the framework from
# /System/Library as on a Mac. CLI11 and nlohmann/json are header-only and come from Debian;
# GoogleTest's sources too (tests/).

# Only the header folders named here, never /usr/include as a whole: its C library is Linux's.
set(NIMBLA_DEBIAN_INCLUDE ${CMAKE_BINARY_DIR}/debian-include)
file(MAKE_DIRECTORY ${NIMBLA_DEBIAN_INCLUDE})
foreach(_folder CLI nlohmann)
    if(EXISTS /usr/include/${_folder} AND NOT EXISTS ${NIMBLA_DEBIAN_INCLUDE}/${_folder})
        file(CREATE_LINK /usr/include/${_folder} ${NIMBLA_DEBIAN_INCLUDE}/${_folder} SYMBOLIC)
    endif()
endforeach()
foreach(_target CLI11::CLI11 nlohmann_json::nlohmann_json)
    add_library(${_target} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${_target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${NIMBLA_DEBIAN_INCLUDE})
endforeach()

set(_include ${CMAKE_CURRENT_LIST_DIR}/macos-cross-include)
set(_header ${_include}/CoreFoundation/CoreFoundation.h)
set(_tbd ${CMAKE_BINARY_DIR}/macos-stubs/CoreFoundation.tbd)
add_custom_command(OUTPUT ${_tbd}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/macos-stubs
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/make-tbd.sh ${_tbd}
        /System/Library/Frameworks/CoreFoundation.framework/Versions/A/CoreFoundation
        ${_header}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make-tbd.sh ${_header}
    COMMENT "Stub library CoreFoundation.tbd from our declarations"
    VERBATIM)
add_custom_target(nimbla_macos_stubs ALL DEPENDS ${_tbd})
add_library(Nimbla::CoreFoundation INTERFACE IMPORTED GLOBAL)
set_target_properties(Nimbla::CoreFoundation PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_include}
    INTERFACE_LINK_LIBRARIES ${_tbd})
