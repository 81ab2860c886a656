# The rendering tests draw under an Xvfb of their own and keep their pictures in build/screenshots/ for people to
# look at; the PNG writer is the one the OpenGL demo's tests use.
target_sources(test_render PRIVATE ${CMAKE_SOURCE_DIR}/gldemo/QEPngFile.cpp)
target_include_directories(test_render PRIVATE ${CMAKE_SOURCE_DIR}/gldemo)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/screenshots)
target_compile_definitions(test_render PRIVATE QE_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
