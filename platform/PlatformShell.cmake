# brindle_platform_shell: the operating system behind the application shell, each an interface,
# the Linux implementation we ship and a fake for tests: the configuration folder, the login
# item (an XDG autostart entry) and the sound settings (started without a shell).
add_library(brindle_platform_shell STATIC
    "${CMAKE_CURRENT_LIST_DIR}/DesktopSoundSettings.cpp"
    "${CMAKE_CURRENT_LIST_DIR}/DetachedProcess.cpp"
    "${CMAKE_CURRENT_LIST_DIR}/RunningExecutable.cpp"
    "${CMAKE_CURRENT_LIST_DIR}/XdgAutostartEntry.cpp"
    "${CMAKE_CURRENT_LIST_DIR}/XdgConfigFolder.cpp")

target_include_directories(brindle_platform_shell PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(brindle_platform_shell PUBLIC brindle_common brindle_juce_audio)
brindle_warnings(brindle_platform_shell)
