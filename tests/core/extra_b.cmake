# A small shared library that the library-name lookup tests load by its path (also under its ".dll" name).
add_library(qe_names_test_lib SHARED ${CMAKE_CURRENT_LIST_DIR}/test_names_lib.c)
set_target_properties(qe_names_test_lib PROPERTIES PREFIX "" OUTPUT_NAME "qe_names_test")
add_dependencies(test_core qe_names_test_lib)
target_compile_definitions(test_core PRIVATE QE_NAMES_TEST_LIB="$<TARGET_FILE:qe_names_test_lib>")
