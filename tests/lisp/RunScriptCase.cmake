# Runs one script case through PomuLisp in the working directory and compares its answer byte for byte; the
# program's allocation report must show no leak.
#   -DPOMULISP=program -DCASE=case.lsp -DEXPECTED=case.expected [-DFIXTURES=dir copied into the working directory]
if(FIXTURES AND EXISTS ${FIXTURES})
  file(COPY ${FIXTURES}/ DESTINATION .)
endif()
# Every run must end with as many frees as allocations (the report is appended to, so it starts afresh).
file(REMOVE ZevMemoryCheck2.txt)
execute_process(COMMAND ${POMULISP} ${CASE} OUTPUT_VARIABLE actual RESULT_VARIABLE rc)
file(READ ${EXPECTED} expected)
if(NOT actual STREQUAL expected)
  get_filename_component(stem ${CASE} NAME_WE)
  file(WRITE ${stem}.actual "${actual}")
  execute_process(COMMAND diff -u ${EXPECTED} ${stem}.actual)
  message(FATAL_ERROR "answer differs from ${EXPECTED} (actual answer in ${stem}.actual)")
endif()
# PomuLisp ends with 1 when a form answered an error value (a line of the answer that starts with "Error: ").
string(FIND "\n${expected}" "\nError: " error_at)
set(expected_rc 0)
if(error_at GREATER_EQUAL 0)
  set(expected_rc 1)
endif()
if(NOT rc EQUAL expected_rc)
  message(FATAL_ERROR "PomuLisp ended with ${rc}, not ${expected_rc}")
endif()
file(READ ZevMemoryCheck2.txt report)
if(report MATCHES "Don't Match!")
  message(FATAL_ERROR "allocations and frees differ at exit: ${report}")
endif()
