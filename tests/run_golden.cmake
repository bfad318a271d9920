# Runs kappa on one golden transcript and compares every byte it writes.
# EMULATOR, when not empty, is the command that runs the program (wine).
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
include(${CMAKE_CURRENT_LIST_DIR}/compare_output.cmake)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
if(IS_DIRECTORY ${CASE_DIR}/data)
  set(data_dir ${CASE_DIR}/data)
else()
  set(data_dir ${EXAMPLES_DIR})
endif()
set(expected_status 0)
if(EXISTS ${CASE_DIR}/status)
  file(READ ${CASE_DIR}/status expected_status)
  string(STRIP "${expected_status}" expected_status)
endif()

execute_process(COMMAND ${emulator} ${KAPPA}
                WORKING_DIRECTORY ${data_dir}
                INPUT_FILE ${CASE_DIR}/answers
                OUTPUT_FILE ${WORK_DIR}/output
                ERROR_FILE ${WORK_DIR}/errors
                RESULT_VARIABLE status)

compare_output(${CASE_DIR}/expected ${WORK_DIR}/output differ)
if(differ)
  message(FATAL_ERROR "output differs from ${CASE_DIR}/expected (written to ${WORK_DIR}/output)")
endif()
if(NOT "${status}" STREQUAL "${expected_status}")
  file(READ ${WORK_DIR}/errors errors)
  message(FATAL_ERROR "exit status ${status}, expected ${expected_status}\n${errors}")
endif()
