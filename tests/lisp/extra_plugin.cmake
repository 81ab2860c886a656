# Scripting plug-ins loaded by the plug-in loader's tests (test_plugin*.cpp). Named as scripts ask for them
# with ".dll" replaced by ".so"; "QLPlugIn.so" is the library that the test builtin QLPlugInTest loads.
function(qe_test_plugin target)
  add_library(${target} MODULE ${CMAKE_CURRENT_SOURCE_DIR}/lisp/plugin/TestPlugIn.cpp)
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".so" OUTPUT_NAME ${target}
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  target_compile_definitions(${target} PRIVATE QL_TEST_NAME="${target}" ${ARGN})
  add_dependencies(test_lisp ${target})
endfunction()

qe_test_plugin(QLPlugIn)
qe_test_plugin(QLTestPlugIn)
qe_test_plugin(QLTestRefuse QL_TEST_REFUSE)
qe_test_plugin(QLTestBare QL_TEST_BARE)
