# Runs the kappa command line on one golden case and compares every byte it
# writes on standard output and standard error, and its exit status.
# EMULATOR, when not empty, is the command that runs the program (wine).
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
if(IS_DIRECTORY ${CASE_DIR}/data)
  set(run_dir ${CASE_DIR}/data)
else()
  set(run_dir ${PROJECT_DIR})
endif()
file(READ ${CASE_DIR}/args args)
string(STRIP "${args}" args)

execute_process(COMMAND sh -c "exec ${EMULATOR} '${KAPPA}' ${args}"
                WORKING_DIRECTORY ${run_dir}
                OUTPUT_FILE ${WORK_DIR}/output
                ERROR_FILE ${WORK_DIR}/errors
                RESULT_VARIABLE status)

if(DEFINED ENV{KAPPA_UPDATE_GOLDEN})
  file(COPY_FILE ${WORK_DIR}/output ${CASE_DIR}/expected)
  file(READ ${WORK_DIR}/errors errors)
  if(errors STREQUAL "")
    file(REMOVE ${CASE_DIR}/stderr)
  else()
    file(COPY_FILE ${WORK_DIR}/errors ${CASE_DIR}/stderr)
  endif()
  if(status EQUAL 0)
    file(REMOVE ${CASE_DIR}/status)
  else()
    file(WRITE ${CASE_DIR}/status "${status}\n")
  endif()
  return()
endif()

set(expected_status 0)
if(EXISTS ${CASE_DIR}/status)
  file(READ ${CASE_DIR}/status expected_status)
  string(STRIP "${expected_status}" expected_status)
endif()
set(expected_errors ${WORK_DIR}/no_errors)
file(WRITE ${expected_errors} "")
if(EXISTS ${CASE_DIR}/stderr)
  set(expected_errors ${CASE_DIR}/stderr)
endif()

set(failures "")
foreach(pair IN ITEMS "${CASE_DIR}/expected|output" "${expected_errors}|errors")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 expected)
  list(GET pair 1 actual)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${expected} ${WORK_DIR}/${actual}
                  RESULT_VARIABLE differ)
  if(differ)
    execute_process(COMMAND diff -a ${expected} ${WORK_DIR}/${actual})
    string(APPEND failures "${actual} differs from ${expected} (written to ${WORK_DIR}/${actual})\n")
  endif()
endforeach()
if(NOT "${status}" STREQUAL "${expected_status}")
  string(APPEND failures "exit status ${status}, expected ${expected_status}\n")
endif()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
