# brindle_platform_app: what the application object needs of the operating system: a display,
# one instance per user with hand-over, quit requests as messages, the default playback device,
# and the simulated sound card offered on request (with its WAV recording).
add_library(brindle_platform_app STATIC
    "${CMAKE_CURRENT_LIST_DIR}/DefaultPlaybackDevice.cpp"
    "${CMAKE_CURRENT_LIST_DIR}/DisplayProbe.cpp"
    "${CMAKE_CURRENT_LIST_DIR}/QuitSignals.cpp"
    "${CMAKE_CURRENT_LIST_DIR}/SimulatedSoundCard.cpp"
    "${CMAKE_CURRENT_LIST_DIR}/UserSocketSingleInstance.cpp"
    "${CMAKE_CURRENT_LIST_DIR}/WavFile.cpp")

target_include_directories(brindle_platform_app PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(brindle_platform_app PUBLIC brindle_platform_audio brindle_engine brindle_juce_audio)
brindle_warnings(brindle_platform_app)

# The display probe asks Xlib itself, before the framework loads it.
pkg_check_modules(BRINDLE_X11 REQUIRED IMPORTED_TARGET x11)
target_link_libraries(brindle_platform_app PRIVATE PkgConfig::BRINDLE_X11)
