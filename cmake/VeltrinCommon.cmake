# Settings every target of ours shares: the language level and the warnings.
# Third-party headers come in as SYSTEM includes, so -Werror only ever judges our code.
add_library(veltrin_common_cfg INTERFACE)
target_compile_features(veltrin_common_cfg INTERFACE cxx_std_20)
target_compile_options(veltrin_common_cfg INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(VELTRIN_WERROR)
    target_compile_options(veltrin_common_cfg INTERFACE -Werror)
endif()
# GCC 12 at -O3 reports impossible overlaps inside libstdc++'s own string concatenation
# ("accessing 9223372036854775810 or more bytes"); the warning is wrong there and says nothing of ours.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(veltrin_common_cfg INTERFACE -Wno-restrict)
    # At -O3 it also takes the strings of aggregates listed in braces for uninitialised, again and
    # again; the -O2 build of the test command still reports what this one would.
    target_compile_options(veltrin_common_cfg INTERFACE $<$<CONFIG:Release>:-Wno-maybe-uninitialized>)
endif()
# Bounds-checked standard containers in every build that is not a release.
target_compile_definitions(veltrin_common_cfg INTERFACE $<$<NOT:$<CONFIG:Release>>:_GLIBCXX_ASSERTIONS>)

# The version, configured into the build tree.
configure_file(${PROJECT_SOURCE_DIR}/cmake/version.h.in ${PROJECT_BINARY_DIR}/generated/version.h @ONLY)
# The advertisement page, as a C string literal.
string(REPLACE "\\" "\\\\" VELTRIN_ADVERTISEMENT_LITERAL "${VELTRIN_ADVERTISEMENT_PAGE}")
string(REPLACE "\"" "\\\"" VELTRIN_ADVERTISEMENT_LITERAL "${VELTRIN_ADVERTISEMENT_LITERAL}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/advertisement.h.in ${PROJECT_BINARY_DIR}/generated/advertisement.h @ONLY)
target_include_directories(veltrin_common_cfg INTERFACE ${PROJECT_BINARY_DIR}/generated)

# Qt targets additionally forbid silent conversions between byte strings and QString.
add_library(veltrin_qt_cfg INTERFACE)
target_link_libraries(veltrin_qt_cfg INTERFACE veltrin_common_cfg)
target_compile_definitions(veltrin_qt_cfg INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_URL_CAST_FROM_STRING
    QT_USE_QSTRINGBUILDER QT_NO_KEYWORDS)

# Every target of ours links these settings, so tests and libraries agree on the runtime; code of
# others (GoogleTest, Qt) is left as it is built.
if(VELTRIN_SANITIZE)
    target_compile_options(veltrin_common_cfg INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(veltrin_common_cfg INTERFACE -fsanitize=address,undefined)
endif()
if(VELTRIN_FUZZ)
    target_compile_options(veltrin_common_cfg INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
    target_link_options(veltrin_common_cfg INTERFACE -fsanitize=address,undefined)
endif()
