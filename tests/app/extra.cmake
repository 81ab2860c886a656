# The meshes and bitmaps the scenes built in code load beyond those of data/.
target_compile_definitions(test_app PRIVATE QE_APP_FIXTURES="${CMAKE_CURRENT_SOURCE_DIR}/app/fixtures")
target_compile_definitions(test_app PRIVATE QE_TOOLS_DIR="${CMAKE_SOURCE_DIR}/tools")
