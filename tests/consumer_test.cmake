# Installs the build into WORK_DIR/prefix, builds tests/consumer against it
# with find_package(kappa) and with pkg-config, and runs both programs on
# examples/ratings.csv: each prints Fleiss' kappa of the example.
file(REMOVE_RECURSE ${WORK_DIR})
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix
    -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
set(programs ${WORK_DIR}/build/consumer)

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${WORK_DIR}/prefix/lib/pkgconfig)
  run(${PKG_CONFIG} --cflags --libs kappa)
  separate_arguments(flags UNIX_COMMAND "${output}")
  separate_arguments(extra UNIX_COMMAND "${CXX_FLAGS} ${LINKER_FLAGS}")
  run(${CXX} ${extra} ${SOURCE_DIR}/tests/consumer/main.cpp ${flags} -o ${WORK_DIR}/consumer-pkg-config)
  list(APPEND programs ${WORK_DIR}/consumer-pkg-config)
endif()

foreach(program IN LISTS programs)
  run(${program} ${SOURCE_DIR}/examples/ratings.csv)
  string(FIND "${output}" "Fleiss' kappa (none): 0.68" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${program} printed:\n${output}")
  endif()
endforeach()
