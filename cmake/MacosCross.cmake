# The libraries of a macOS cross-build (cmake/macos-zig.cmake): the same targets a native build
# finds (ICU::uc, ICU::i18n, PkgConfig::PLIST), made of Debian's headers and, at link time,
# text-based stubs that export exactly what Debian's own shared libraries export. A reference to
# anything else fails the link, as it would on a Mac. CLI11 and nlohmann/json are header-only and
# come from Debian as well.
find_program(NIMBLA_NM nm REQUIRED)
set(_debian_lib /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE})
if(NOT CMAKE_LIBRARY_ARCHITECTURE)
    set(_debian_lib /usr/lib/x86_64-linux-gnu)
endif()

# Only the header folders named here, never /usr/include as a whole: its C library is Linux's.
set(NIMBLA_DEBIAN_INCLUDE ${CMAKE_BINARY_DIR}/debian-include)
file(MAKE_DIRECTORY ${NIMBLA_DEBIAN_INCLUDE})
foreach(_folder unicode plist CLI nlohmann)
    if(EXISTS /usr/include/${_folder} AND NOT EXISTS ${NIMBLA_DEBIAN_INCLUDE}/${_folder})
        file(CREATE_LINK /usr/include/${_folder} ${NIMBLA_DEBIAN_INCLUDE}/${_folder} SYMBOLIC)
    endif()
endforeach()

set(_stubs)
# nimbla_macos_stub(<target> <install name> <Debian library>...)
function(nimbla_macos_stub target install_name)
    string(MAKE_C_IDENTIFIER ${target} _name)
    set(_tbd ${CMAKE_BINARY_DIR}/macos-stubs/${_name}.tbd)
    set(_libraries)
    foreach(_library IN LISTS ARGN)
        list(APPEND _libraries ${_debian_lib}/${_library})
    endforeach()
    add_custom_command(OUTPUT ${_tbd}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/macos-stubs
        COMMAND ${PROJECT_SOURCE_DIR}/cmake/make-tbd.sh ${_tbd} ${install_name} ${_libraries}
        DEPENDS ${PROJECT_SOURCE_DIR}/cmake/make-tbd.sh ${_libraries}
        COMMENT "Stub library ${_name}.tbd from ${ARGN}"
        VERBATIM)
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${NIMBLA_DEBIAN_INCLUDE}
        INTERFACE_LINK_LIBRARIES ${_tbd})
    set(_stubs ${_stubs} ${_tbd} PARENT_SCOPE)
endfunction()

# Install names as Homebrew lays the libraries out.
nimbla_macos_stub(ICU::uc /opt/homebrew/opt/icu4c/lib/libicuuc.dylib libicuuc.so)
nimbla_macos_stub(ICU::i18n /opt/homebrew/opt/icu4c/lib/libicui18n.dylib libicui18n.so)
nimbla_macos_stub(PkgConfig::PLIST /opt/homebrew/opt/libplist/lib/libplist-2.0.dylib
    libplist-2.0.so)
add_custom_target(nimbla_macos_stubs ALL DEPENDS ${_stubs})

# The header-only libraries of the command line, as their packages' targets name them.
foreach(_target CLI11::CLI11 nlohmann_json::nlohmann_json)
    add_library(${_target} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${_target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${NIMBLA_DEBIAN_INCLUDE})
endforeach()
