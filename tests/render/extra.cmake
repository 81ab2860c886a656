# The rendering tests draw under an Xvfb of their own and keep their pictures in build/screenshots/ for people to
# look at.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/screenshots)
target_compile_definitions(test_render PRIVATE QE_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
