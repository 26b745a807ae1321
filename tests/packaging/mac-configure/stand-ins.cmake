# Included right after project() by tests/packaging/mac_configure_test.sh, for a configure on
# Linux that takes the Mac's branches (APPLE set): only what this machine's Qt lacks to configure
# as a Mac's would, never a library a Mac lacks.
# Qt Gui on APPLE looks for the OpenGL framework, which every Mac has.
if(NOT TARGET WrapOpenGL::WrapOpenGL)
    add_library(WrapOpenGL::WrapOpenGL INTERFACE IMPORTED GLOBAL)
endif()
# The Mac's Qt (6.5 and later) has qt_generate_deploy_script; Debian's 6.4 has not.
if(NOT COMMAND qt_generate_deploy_script)
    function(qt_generate_deploy_script)
        cmake_parse_arguments(ARG "" "TARGET;OUTPUT_SCRIPT;CONTENT" "" ${ARGN})
        set(_script ${CMAKE_CURRENT_BINARY_DIR}/deploy-stand-in-${ARG_TARGET}.cmake)
        file(WRITE ${_script} "")
        set(${ARG_OUTPUT_SCRIPT} ${_script} PARENT_SCOPE)
    endfunction()
endif()
