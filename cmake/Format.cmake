# `cmake --build --preset dev --target format` formats every C and C++ source in place;
# `--target format-check` fails when one is not formatted (clang-format, .clang-format at the top).
find_program(CLANG_FORMAT NAMES clang-format clang-format-14)
if(CLANG_FORMAT)
    file(GLOB_RECURSE _nimbla_format_sources CONFIGURE_DEPENDS
        ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h
        ${PROJECT_SOURCE_DIR}/tests/*.cpp ${PROJECT_SOURCE_DIR}/tests/*.h ${PROJECT_SOURCE_DIR}/tests/*.c
        ${PROJECT_SOURCE_DIR}/bench/*.cpp ${PROJECT_SOURCE_DIR}/bench/*.c
        ${PROJECT_SOURCE_DIR}/tools/*.c)
    add_custom_target(format
        COMMAND ${CLANG_FORMAT} -i ${_nimbla_format_sources}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        COMMENT "Formatting the sources")
    add_custom_target(format-check
        COMMAND ${CLANG_FORMAT} --dry-run --Werror ${_nimbla_format_sources}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        COMMENT "Checking the sources' format")
endif()
