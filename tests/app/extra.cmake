target_compile_definitions(test_app PRIVATE QE_TOOLS_DIR="${CMAKE_SOURCE_DIR}/tools")
# The tests of the demo program run it (and a host program that embeds a view through libqe.so) on an X server of
# their own, and keep their pictures in build/screenshots/ for people to look at.
add_dependencies(test_app demo)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/screenshots)
target_compile_definitions(test_app PRIVATE QE_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
# A host program that embeds a view in its own window through the exports of libqe.so (its window from our window
# layer).
add_executable(embed_host ${CMAKE_CURRENT_SOURCE_DIR}/app/embed/EmbedHost.cpp)
target_link_libraries(embed_host PRIVATE qe qe_platform_win)
add_dependencies(test_app embed_host)
# The tests watch their X server for the frames drawn and the windows mapped (XProgramSupport.cpp) rather than
# look again and again.
find_package(X11 REQUIRED)
target_link_libraries(test_app PRIVATE X11::X11 X11::Xdamage)
# (Xlib's macros must not reach the other files of its batch.)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/app/XProgramSupport.cpp PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
