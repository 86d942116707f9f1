# Runs a window test under wine and prints what it wrote: Qt Test's report reaches no pipe there, so it
# is written into a file. The test fails when the program fails, or runs past TIMEOUT seconds.
#   cmake -DWINE=... -DTEST=....exe -DREPORT=....txt -DTIMEOUT=N -P RunUnderWine.cmake
file(REMOVE "${REPORT}")
execute_process(COMMAND "${WINE}" "${TEST}" -o "${REPORT},txt" TIMEOUT ${TIMEOUT} RESULT_VARIABLE result)
if(EXISTS "${REPORT}")
  file(READ "${REPORT}" report)
  message("${report}")
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${TEST}: ${result}")
endif()
