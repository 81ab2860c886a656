target_compile_definitions(test_app PRIVATE QE_TOOLS_DIR="${CMAKE_SOURCE_DIR}/tools")
