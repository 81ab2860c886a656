# A program that runs the core start-up and exits, optionally leaking one object, so the tests can check the
# log and the allocation report that it leaves behind.
add_executable(core_alloc_report_prog ${CMAKE_CURRENT_LIST_DIR}/progs/alloc_report_prog.cpp)
target_link_libraries(core_alloc_report_prog PRIVATE qe_core)
add_dependencies(test_core core_alloc_report_prog)
target_compile_definitions(test_core PRIVATE CORE_ALLOC_REPORT_PROG="$<TARGET_FILE:core_alloc_report_prog>")

include(${CMAKE_CURRENT_LIST_DIR}/extra_b.cmake OPTIONAL)
