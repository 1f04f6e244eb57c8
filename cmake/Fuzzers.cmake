# libFuzzer targets for the saved state and the file readers. Configure a separate build folder with
# clang and -fsanitize=address,fuzzer-no-link (scripts/fuzz.sh does) so the whole library is instrumented.
foreach(name StateFuzz FileFuzz)
    add_executable(virl_${name} "${CMAKE_SOURCE_DIR}/tests/fuzz/${name}.cpp")
    virl_link_shared_code(virl_${name})
    target_link_options(virl_${name} PRIVATE -fsanitize=fuzzer,address)
    target_compile_options(virl_${name} PRIVATE -fsanitize=fuzzer,address)
endforeach()
