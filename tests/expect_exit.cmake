# Runs EXE with ARGS and fails unless it exits with EXPECT.
execute_process(COMMAND ${EXE} ${ARGS} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL EXPECT)
  message(FATAL_ERROR "${EXE} ${ARGS} exited with ${code}, expected ${EXPECT}\n${out}\n${err}")
endif()
message(STATUS "exit code ${code} as expected\n${err}")
