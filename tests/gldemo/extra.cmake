# The program tests start OGLPomu itself (menu answers, and each scene under Xvfb), and leave the screenshots of
# the four scenes in build/screenshots/ for people to look at.
add_dependencies(test_gldemo OGLPomu)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/screenshots)
target_compile_definitions(test_gldemo PRIVATE QE_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
# The program runs on the test process's own X server.
target_link_libraries(test_gldemo PRIVATE qe_gl)
# The window test drives OGLPomu with xdotool and reads the screen back as the demo program's tests do.
target_sources(test_gldemo PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/app/XProgramSupport.cpp)
target_include_directories(test_gldemo PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/app)
find_package(X11 REQUIRED)
target_link_libraries(test_gldemo PRIVATE X11::X11 X11::Xdamage)
