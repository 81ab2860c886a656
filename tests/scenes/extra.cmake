# Checks of the scenes' data: the generated meshes and bitmaps, and the language reference page.

find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_FOUND)
  add_test(NAME DataFiles COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check_data.py ${QE_DATA_DIR})
  set_tests_properties(DataFiles PROPERTIES TIMEOUT 120)
endif()

# The page in data/ must be the one the descriptions make from the builtins registered now: a builtin without a
# description, a description of no builtin or a stale page fails.
add_dependencies(test_scenes MakeLispReference)
set(reference_dir ${CMAKE_BINARY_DIR}/testrun/lisp-reference)
file(MAKE_DIRECTORY ${reference_dir})
add_test(NAME LispReference
  COMMAND MakeLispReference ${QE_LISP_REFERENCE_TEXT} ${reference_dir}/POMU_Lisp_Reference.html
          --check ${QE_DATA_DIR}/POMU_Lisp_Reference.html
  WORKING_DIRECTORY ${reference_dir})
