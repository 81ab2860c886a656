# The X11 test keeps a screenshot of its form in build/screenshots/ for people to look at.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/screenshots)
target_compile_definitions(test_winui PRIVATE QE_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
