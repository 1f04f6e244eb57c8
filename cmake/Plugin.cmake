# The plug-in: one shared-code static library (JUCE compiled once) wrapped as LV2, VST3 and Standalone.
# Tests, benchmarks and tools link the same library, so what they check is what ships.
set(VIRL_LV2URI "https://trevlor.audio/lv2/VIRL")

juce_add_plugin(Virl
    COMPANY_NAME "Trevlor"
    COMPANY_WEBSITE "https://trevlor.audio"
    PLUGIN_MANUFACTURER_CODE Trev
    PLUGIN_CODE Virl
    PRODUCT_NAME "VIRL"
    VERSION 1.1.0
    FORMATS LV2 VST3 Standalone
    IS_SYNTH TRUE
    NEEDS_MIDI_INPUT TRUE
    NEEDS_MIDI_OUTPUT FALSE
    IS_MIDI_EFFECT FALSE
    EDITOR_WANTS_KEYBOARD_FOCUS FALSE
    COPY_PLUGIN_AFTER_BUILD FALSE
    LV2URI "${VIRL_LV2URI}"
    LV2_SHARED_LIBRARY_NAME VIRL)

file(GLOB_RECURSE VIRL_SOURCES CONFIGURE_DEPENDS
    "${CMAKE_SOURCE_DIR}/plugin/*.cpp"
    "${CMAKE_SOURCE_DIR}/engine/*.cpp"
    "${CMAKE_SOURCE_DIR}/patterns/*.cpp"
    "${CMAKE_SOURCE_DIR}/material/*.cpp"
    "${CMAKE_SOURCE_DIR}/family/*.cpp"
    "${CMAKE_SOURCE_DIR}/editor/*.cpp")
if(VIRL_SKIP_SOURCES)
    list(FILTER VIRL_SOURCES EXCLUDE REGEX "${VIRL_SKIP_SOURCES}")
endif()
target_sources(Virl PRIVATE ${VIRL_SOURCES})
target_include_directories(Virl PUBLIC "${CMAKE_SOURCE_DIR}")

target_compile_definitions(Virl
    PUBLIC
        # Debian's JUCE would otherwise put the bare product name here, which the LV2 client rejects.
        JucePlugin_LV2URI="${VIRL_LV2URI}"
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=0
        JUCE_VST3_CAN_REPLACE_VST2=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_MODAL_LOOPS_PERMITTED=1
        JUCE_STRICT_REFCOUNTEDPOINTER=1)

# JUCE modules are linked privately: their sources compile into this one library only.
# Targets that link Virl borrow its include paths and definitions instead (virl_link_shared_code).
target_link_libraries(Virl
    PRIVATE
        juce::juce_audio_utils
        juce::juce_audio_formats
        juce::juce_audio_processors
        juce::juce_gui_extra
        juce::juce_recommended_warning_flags
    PUBLIC
        juce::juce_recommended_config_flags
        PkgConfig::VIRL_CODECS)

function(virl_link_shared_code target)
    target_compile_definitions(${target} PRIVATE $<TARGET_PROPERTY:Virl,COMPILE_DEFINITIONS>)
    target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:Virl,INCLUDE_DIRECTORIES>)
    target_link_libraries(${target} PRIVATE Virl)
endfunction()

# The Standalone app is a convenience; LV2 is the format users of this plug-in load.
set(VIRL_LV2_BUNDLE "${CMAKE_BINARY_DIR}/Virl_artefacts/${CMAKE_BUILD_TYPE}/LV2/VIRL.lv2")

add_custom_command(TARGET Virl_LV2 POST_BUILD
    COMMAND "${CMAKE_COMMAND}" -DBUNDLE=${VIRL_LV2_BUNDLE} -DURI=${VIRL_LV2URI}
            -P "${CMAKE_SOURCE_DIR}/cmake/TidyLv2Ttl.cmake"
    VERBATIM)
