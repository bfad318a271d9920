# compare_output(EXPECTED ACTUAL DIFFERS): DIFFERS is true, and the
# difference printed, when the file ACTUAL differs from EXPECTED. A program
# run by an EMULATOR (a Windows build under Wine) has another C library,
# whose exp or erfc may round differently in the last place: its output
# agrees when only its numbers differ, each by at most 1e-13 relative.
function(compare_output expected actual differs)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${expected} ${actual} RESULT_VARIABLE different)
  if(different AND NOT "${EMULATOR}" STREQUAL "")
    execute_process(COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/same_numbers.py ${expected} ${actual}
                    RESULT_VARIABLE different)
  endif()
  if(different)
    execute_process(COMMAND diff -a ${expected} ${actual})
  endif()
  set(${differs} ${different} PARENT_SCOPE)
endfunction()
