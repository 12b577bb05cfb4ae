# vuqctl.exe as a Windows user runs it: on a sample image, in a folder of its own,
# with relative file names. Each part that extract writes must be the image's own
# bytes (a file read or written in text mode would change them).
# Usage: cmake -DRUN=<emulator> -DVUQCTL=<vuqctl.exe> -DSAMPLE_TOOL=<vuq_sample_image.exe>
#              -DWORK_DIR=<folder> -P VuqctlOnWindows.cmake
cmake_minimum_required(VERSION 3.25)

function(run_vuqctl EXPECTED_EXIT OUT_VAR)
  execute_process(COMMAND ${RUN} ${VUQCTL} ${ARGN} WORKING_DIRECTORY ${WORK_DIR}
    OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR RESULT_VARIABLE EXIT)
  if(NOT EXIT STREQUAL EXPECTED_EXIT)
    message(FATAL_ERROR "vuqctl ${ARGN}: exit ${EXIT}, expected ${EXPECTED_EXIT}\n${OUT}${ERR}")
  endif()
  set(${OUT_VAR} "${OUT}${ERR}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${RUN} ${SAMPLE_TOOL} sample.dat WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE EXIT)
if(NOT EXIT EQUAL 0)
  message(FATAL_ERROR "vuq_sample_image: exit ${EXIT}")
endif()

run_vuqctl(0 INFO info --json sample.dat)
string(JSON CODE GET "${INFO}" code)
if(NOT CODE EQUAL 1)
  message(FATAL_ERROR "info: parse code ${CODE}, expected 1\n${INFO}")
endif()

string(JSON PART_COUNT LENGTH "${INFO}" parts)
if(PART_COUNT EQUAL 0)
  message(FATAL_ERROR "info: no parts\n${INFO}")
endif()
math(EXPR LAST "${PART_COUNT} - 1")
foreach(I RANGE ${LAST})
  string(JSON ID GET "${INFO}" parts ${I} id)
  string(JSON OFFSET GET "${INFO}" parts ${I} offset)
  string(JSON SIZE GET "${INFO}" parts ${I} size)
  run_vuqctl(0 IGNORED extract --part ${ID} sample.dat part${ID}.bin)
  file(READ ${WORK_DIR}/sample.dat EXPECTED OFFSET ${OFFSET} LIMIT ${SIZE} HEX)
  file(READ ${WORK_DIR}/part${ID}.bin ACTUAL HEX)
  if(NOT ACTUAL STREQUAL EXPECTED)
    file(SIZE ${WORK_DIR}/part${ID}.bin ACTUAL_SIZE)
    message(FATAL_ERROR "extract --part ${ID}: ${ACTUAL_SIZE} bytes, not the image's ${SIZE} bytes at ${OFFSET}")
  endif()
endforeach()

# The prepared phase-1 image starts with the image header's tag.
run_vuqctl(0 IGNORED prepare --flag 0x6 --os-type 0 sample.dat phase1.bin)
file(READ ${WORK_DIR}/phase1.bin TAG LIMIT 4 HEX)
if(NOT TAG STREQUAL "54415655")
  message(FATAL_ERROR "prepare: the image does not start with TAVU")
endif()

# The virtual handset, in process, flashed in both dialects; it prints what it got.
foreach(DIALECT current legacy)
  if(DIALECT STREQUAL "legacy")
    run_vuqctl(0 FLASH flash --simulate --legacy --time-scale 100 sample.dat)
  else()
    run_vuqctl(0 FLASH flash --simulate --time-scale 100 sample.dat)
  endif()
  foreach(EXPECTED "virtual handset received" "operating system" "closing frame" "sample.dat: flashed")
    string(FIND "${FLASH}" "${EXPECTED}" AT)
    if(AT EQUAL -1)
      message(FATAL_ERROR "flash (${DIALECT}): no \"${EXPECTED}\"\n${FLASH}")
    endif()
  endforeach()
  if(FLASH MATCHES "BAD")
    message(FATAL_ERROR "flash (${DIALECT}): a frame with a bad checksum\n${FLASH}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
