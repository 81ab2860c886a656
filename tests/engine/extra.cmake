# Programs, libraries and script cases of the engine tests.

# A library with procedures named as "<library file> <procedure>" by the callback tests. It refers to nothing of
# the engine, so the test program and the C program can both load it.
add_library(qe_engine_testlib MODULE ${CMAKE_CURRENT_SOURCE_DIR}/engine/lib/EngineTestLib.c)
set_target_properties(qe_engine_testlib PROPERTIES PREFIX "" SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
add_dependencies(test_engine qe_engine_testlib)
target_compile_definitions(test_engine PRIVATE QE_ENGINE_TESTLIB="$<TARGET_FILE:qe_engine_testlib>")

# The C interface as a host sees it: a C program that includes only qe.h and links only libqe.so.
add_executable(c_api_test ${CMAKE_CURRENT_SOURCE_DIR}/engine/c_api_test.c)
target_link_libraries(c_api_test PRIVATE qe)
target_compile_definitions(c_api_test PRIVATE QE_DATA_DIR="${QE_DATA_DIR}"
  QE_ENGINE_TESTLIB="$<TARGET_FILE:qe_engine_testlib>")
add_dependencies(c_api_test qe_engine_testlib)
add_dependencies(test_engine c_api_test)
set(c_api_dir ${CMAKE_BINARY_DIR}/testrun/engine-c-api)
file(MAKE_DIRECTORY ${c_api_dir})
add_test(NAME EngineCApi COMMAND c_api_test WORKING_DIRECTORY ${c_api_dir})
set_tests_properties(EngineCApi PROPERTIES TIMEOUT 120)

# Script cases: each cases/*.lsp runs in PomuLisp against a physics-only world, in a folder holding the meshes and
# bitmaps of data/ (objects/ is the object search directory), and its answer is compared with cases/*.expected.
# Only those are copied: a demo started from data/ writes its own files there meanwhile.
add_dependencies(test_engine PomuLisp)
file(GLOB engine_cases CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/engine/cases/*.lsp)
foreach(case ${engine_cases})
  get_filename_component(stem ${case} NAME_WE)
  set(casedir ${CMAKE_BINARY_DIR}/testrun/engine-scripts/${stem})
  file(MAKE_DIRECTORY ${casedir})
  add_test(NAME EngineScript.${stem}
    COMMAND ${CMAKE_COMMAND} -DPOMULISP=$<TARGET_FILE:PomuLisp> -DCASE=${case}
            -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/engine/cases/${stem}.expected
            -DFIXTURES=${QE_DATA_DIR} "-DFIXTURE_KINDS=*.x;*.bmp;*.BMP"
            -P ${CMAKE_CURRENT_SOURCE_DIR}/lisp/RunScriptCase.cmake
    WORKING_DIRECTORY ${casedir})
  set_tests_properties(EngineScript.${stem} PROPERTIES TIMEOUT 120)
endforeach()

# The exports of libqe.so are the QE_ functions of qe.h, no more and no fewer.
add_test(NAME EngineExports
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:qe> -DHEADER=${CMAKE_SOURCE_DIR}/include/qe.h
          -P ${CMAKE_CURRENT_SOURCE_DIR}/engine/CheckExports.cmake)
