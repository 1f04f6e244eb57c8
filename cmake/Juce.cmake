# JUCE 8 comes from a source tree: by default the one scripts/setup.sh unpacks,
# or any JUCE 8 tree given with -DJUCE_DIR=... (other distributions).
set(JUCE_DIR "$ENV{HOME}/.cache/virl/juce-8.0.6" CACHE PATH "JUCE 8 source tree")
if(NOT EXISTS "${JUCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "No JUCE tree at ${JUCE_DIR}: run scripts/setup.sh or pass -DJUCE_DIR=<JUCE 8 tree>")
endif()
add_subdirectory("${JUCE_DIR}" juce EXCLUDE_FROM_ALL)

find_package(PkgConfig REQUIRED)
# Debian's JUCE links the system codecs instead of its bundled copies.
pkg_check_modules(VIRL_CODECS REQUIRED IMPORTED_TARGET flac vorbis vorbisfile vorbisenc ogg)
