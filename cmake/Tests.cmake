# Unit tests link the plug-in's shared-code library, so JUCE is compiled once per build folder.
# Host tests load the built LV2 bundle through lilv, as a DAW would.
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB VIRL_UNIT_TESTS CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/unit/*.cpp")
if(VIRL_SKIP_SOURCES)
    list(FILTER VIRL_UNIT_TESTS EXCLUDE REGEX "${VIRL_SKIP_SOURCES}")
endif()
add_executable(virl_tests ${VIRL_UNIT_TESTS})
virl_link_shared_code(virl_tests)
target_link_libraries(virl_tests PRIVATE GTest::gtest GTest::gtest_main GTest::gmock)
gtest_discover_tests(virl_tests DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 600)

file(GLOB VIRL_HOST_TESTS CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/host/*.cpp")
if(VIRL_HOST_TESTS)
    add_executable(virl_host_tests ${VIRL_HOST_TESTS})
    target_link_libraries(virl_host_tests PRIVATE virl_host GTest::gtest GTest::gtest_main)
    target_compile_definitions(virl_host_tests PRIVATE
        VIRL_LV2_DIR="${CMAKE_BINARY_DIR}/Virl_artefacts/${CMAKE_BUILD_TYPE}/LV2"
        VIRL_LV2URI="${VIRL_LV2URI}"
        VIRL_RENDER_TOOL="$<TARGET_FILE:virl-render>")
    add_dependencies(virl_host_tests Virl_LV2 virl-render)
    gtest_discover_tests(virl_host_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endif()
