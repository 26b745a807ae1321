# The macOS package an administrator pushes: on a Mac, in a build tree,
#   cpack -G productbuild        ->  NimblaResetTool-<version>.pkg
# installs NimblaResetTool.app into /Applications (the command line nimbla-reset inside it, at
# Contents/MacOS/nimbla-reset, and Qt's frameworks put in by macdeployqt, src/app/) and a symbolic
# link /usr/local/bin/nimbla-reset to that command line. `cmake --install <tree> --prefix /` lays
# out the same. Nothing is signed unless the maker's own identities are given:
#   NIMBLA_CODESIGN_IDENTITY   "Developer ID Application: ..." signs every binary and the bundle
#                              (hardened runtime, secure timestamp)
#   NIMBLA_INSTALLER_IDENTITY  "Developer ID Installer: ..." signs the package
# Notarisation follows on the finished package (README, "Installing on Macs").

# The link is relative, so it also holds in a staging folder (DESTDIR, cpack's).
install(CODE "
    set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/usr/local/bin\")
    file(MAKE_DIRECTORY \"\${_bin}\")
    file(REMOVE \"\${_bin}/nimbla-reset\")
    file(CREATE_LINK ../../../${NIMBLA_MACOS_APP}/Contents/MacOS/nimbla-reset
        \"\${_bin}/nimbla-reset\" SYMBOLIC)
")

# Signing comes last: after macdeployqt, the command line first, then the bundle that seals it.
if(NIMBLA_CODESIGN_IDENTITY)
    install(CODE "
        set(_app \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${NIMBLA_MACOS_APP}\")
        foreach(_code \"\${_app}/Contents/MacOS/nimbla-reset\" \"\${_app}\")
            execute_process(COMMAND codesign --force --options runtime --timestamp
                --sign \"${NIMBLA_CODESIGN_IDENTITY}\" \"\${_code}\" COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    ")
endif()

set(CPACK_PACKAGE_FILE_NAME NimblaResetTool-${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_PRODUCTBUILD_IDENTIFIER com.nimbla.resettool)
set(CPACK_PRODUCTBUILD_DOMAINS ON)
set(CPACK_PRODUCTBUILD_DOMAINS_ANYWHERE OFF)
set(CPACK_PRODUCTBUILD_DOMAINS_USER OFF)
set(CPACK_PRODUCTBUILD_DOMAINS_ROOT ON)
if(NIMBLA_INSTALLER_IDENTITY)
    set(CPACK_PRODUCTBUILD_IDENTITY_NAME "${NIMBLA_INSTALLER_IDENTITY}")
endif()
