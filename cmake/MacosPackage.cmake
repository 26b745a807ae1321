# The macOS package an administrator pushes: on a Mac, from a build tree of the mac preset,
#   packaging/macos/make-pkg <tree>     ->  <tree>/NimblaResetTool-<version>.pkg
# installs NimblaResetTool.app into /Applications (the command line nimbla-reset inside it, at
# Contents/MacOS/nimbla-reset, and Qt's frameworks put in by macdeployqt, src/app/) and a symbolic
# link /usr/local/bin/nimbla-reset to that command line, for macOS 11 and later on arm64 and
# x86_64 alike. `cmake --install <tree> --prefix /` lays out the same. Nothing is signed unless
# the maker's own identities are given:
#   NIMBLA_CODESIGN_IDENTITY   "Developer ID Application: ..." signs every binary and the bundle
#                              (hardened runtime, secure timestamp); the command line with the
#                              identifier com.nimbla.resettool.cli, which the privacy profile
#                              (packaging/mdm/nimbla-reset-pppc.mobileconfig) names
#   NIMBLA_INSTALLER_IDENTITY  "Developer ID Installer: ..." signs the package (make-pkg reads it
#                              from the environment)
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
        execute_process(COMMAND codesign --force --options runtime --timestamp
            --identifier com.nimbla.resettool.cli --sign \"${NIMBLA_CODESIGN_IDENTITY}\"
            \"\${_app}/Contents/MacOS/nimbla-reset\" COMMAND_ERROR_IS_FATAL ANY)
        execute_process(COMMAND codesign --force --options runtime --timestamp
            --sign \"${NIMBLA_CODESIGN_IDENTITY}\" \"\${_app}\" COMMAND_ERROR_IS_FATAL ANY)
    ")
endif()

