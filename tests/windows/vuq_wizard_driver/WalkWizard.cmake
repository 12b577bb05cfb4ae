# Runs a wizard program with --simulate and, at the same time, the driver that
# presses the default button of every page until the last. Both must end with 0.
# Usage: cmake -DRUN=<emulator> -DVUQ=<program> -DDRIVER=<driver> [-DDRIVER_MODE=--legacy]
#        -P WalkWizard.cmake
# The driver gives up after 120 s; a program left waiting on a page is ended at
# 180 s, so a failed walk leaves no program behind to disturb the next run.
execute_process(
  COMMAND ${RUN} ${VUQ} --simulate --time-scale 20
  COMMAND ${RUN} ${DRIVER} ${DRIVER_MODE} walk 120000
  TIMEOUT 180
  RESULTS_VARIABLE RESULTS
  OUTPUT_VARIABLE OUTPUT
  ERROR_VARIABLE OUTPUT)
message(STATUS "${OUTPUT}")
if(NOT RESULTS STREQUAL "0;0")
  message(FATAL_ERROR "${VUQ} and the driver ended with ${RESULTS}")
endif()
