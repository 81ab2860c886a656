# Script cases: each cases/*.lsp is run by PomuLisp and its answer compared with cases/*.expected.
add_dependencies(test_lisp PomuLisp)
file(GLOB lisp_cases CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/lisp/cases/*.lsp)
foreach(case ${lisp_cases})
  get_filename_component(stem ${case} NAME_WE)
  set(casedir ${CMAKE_BINARY_DIR}/testrun/lisp-scripts/${stem})
  file(MAKE_DIRECTORY ${casedir})
  add_test(NAME LispScript.${stem}
    COMMAND ${CMAKE_COMMAND} -DPOMULISP=$<TARGET_FILE:PomuLisp> -DCASE=${case}
            -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/lisp/cases/${stem}.expected
            -DFIXTURES=${CMAKE_CURRENT_SOURCE_DIR}/lisp/cases/files
            -P ${CMAKE_CURRENT_SOURCE_DIR}/lisp/RunScriptCase.cmake
    WORKING_DIRECTORY ${casedir})
  set_tests_properties(LispScript.${stem} PROPERTIES TIMEOUT 120)
endforeach()

# Plug-in libraries of the plug-in loader's tests.
include(${CMAKE_CURRENT_SOURCE_DIR}/lisp/extra_plugin.cmake OPTIONAL)
