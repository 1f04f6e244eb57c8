# The render tool: a small LV2 host on lilv that plays the built bundle offline.
# Its host code is a library so the integration tests drive the plug-in the same way.
pkg_check_modules(LILV REQUIRED IMPORTED_TARGET lilv-0)
pkg_check_modules(LV2 REQUIRED IMPORTED_TARGET lv2)

file(GLOB VIRL_HOST_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tools/host/*.cpp")
add_library(virl_host STATIC ${VIRL_HOST_SOURCES})
target_include_directories(virl_host PUBLIC "${CMAKE_SOURCE_DIR}/tools")
target_link_libraries(virl_host PUBLIC PkgConfig::LILV PkgConfig::LV2)

add_executable(virl-render "${CMAKE_SOURCE_DIR}/tools/render/main.cpp")
target_link_libraries(virl-render PRIVATE virl_host)

# Plays the sibling instrument's part of the shared ring: writes a tone into one channel.
add_executable(ringla-demo "${CMAKE_SOURCE_DIR}/tools/ringla-demo/main.cpp"
    "${CMAKE_SOURCE_DIR}/plugin/RingLayout.cpp" "${CMAKE_SOURCE_DIR}/plugin/RingWriter.cpp")
target_include_directories(ringla-demo PRIVATE "${CMAKE_SOURCE_DIR}")
