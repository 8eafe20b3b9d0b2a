# JUCE, compiled once for the whole project.
#
# Debian's JUCE exposes each module as an INTERFACE target whose sources are compiled into
# every target that links it. To compile each module exactly once, the modules are built here
# into two static libraries that everything else links:
#   brindle_juce_audio  core, events, data structures, audio basics, audio devices (no GUI)
#   brindle_juce_gui    graphics, gui basics, gui extra, on top of brindle_juce_audio
# The engine links only the first, so it cannot reach a GUI header by accident.

find_package(JUCE 7.0.5 CONFIG REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PkgConfig REQUIRED)

set(BRINDLE_JUCE_AUDIO_MODULES juce_core juce_events juce_data_structures juce_audio_basics juce_audio_devices)
set(BRINDLE_JUCE_GUI_MODULES juce_graphics juce_gui_basics juce_gui_extra)

# Settings every translation unit must agree on, JUCE's and ours alike.
set(BRINDLE_JUCE_DEFINITIONS
    JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
    JUCE_WEB_BROWSER=0              # the console will bring a web view of our own, in platform/
    JUCE_USE_CURL=0
    JUCE_MODAL_LOOPS_PERMITTED=1    # tests pump the message loop
    JUCE_DISPLAY_SPLASH_SCREEN=0    # allowed under the GPL licence
    JUCE_STRICT_REFCOUNTEDPOINTER=1
    $<IF:$<CONFIG:Debug>,DEBUG=1;_DEBUG=1,NDEBUG=1;_NDEBUG=1>
    LINUX=1)

function(brindle_juce_library name)
    cmake_parse_arguments(ARG "" "" "MODULES;LINK" ${ARGN})
    set(sources)
    set(available)
    foreach(module IN LISTS ARG_MODULES)
        list(APPEND sources "${JUCE_MODULES_DIR}/${module}/${module}.cpp")
        list(APPEND available "JUCE_MODULE_AVAILABLE_${module}=1")
    endforeach()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC "${JUCE_MODULES_DIR}")
    target_compile_definitions(${name} PUBLIC ${BRINDLE_JUCE_DEFINITIONS} ${available})
    target_compile_features(${name} PUBLIC cxx_std_17)
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
endfunction()

pkg_check_modules(BRINDLE_ALSA REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(BRINDLE_FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(BRINDLE_IMG REQUIRED IMPORTED_TARGET libpng libjpeg)
find_package(Threads REQUIRED)

brindle_juce_library(brindle_juce_audio
    MODULES ${BRINDLE_JUCE_AUDIO_MODULES}
    LINK PkgConfig::BRINDLE_ALSA ZLIB::ZLIB Threads::Threads ${CMAKE_DL_LIBS} rt)

brindle_juce_library(brindle_juce_gui
    MODULES ${BRINDLE_JUCE_GUI_MODULES}
    LINK brindle_juce_audio PkgConfig::BRINDLE_FREETYPE PkgConfig::BRINDLE_IMG)

# JUCE's own sources are not ours to warn about.
target_compile_options(brindle_juce_audio PRIVATE -w)
target_compile_options(brindle_juce_gui PRIVATE -w)
