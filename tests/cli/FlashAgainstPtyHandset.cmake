# vuqctl flash --port against the virtual handset in another process, on a Linux
# pseudo-terminal behind a name that follows it (vuq_pty_handset), in one dialect.
# The Linux vuqctl flashes it under a symbolic link in WORK_DIR; with WINDOWS_VUQCTL
# given, vuqctl.exe flashes it as well, under Wine, as \\.\COM7: the handset's node
# is then $WINE_PREFIX/dosdevices/com7, which is how Wine maps COM7 to a device.
# Both runs must end with exit 0 and the handset must have received the same frames.
#
# Usage: cmake -DHANDSET=<vuq_pty_handset> -DLINUX_VUQCTL=<vuqctl> -DSAMPLE_TOOL=<vuq_sample_image(.exe)>
#              -DWORK_DIR=<folder> -DDIALECT=current|legacy -DTIME_SCALE=<N>
#              [-DWINDOWS_VUQCTL=<vuqctl.exe> -DRUN=<wine-run> -DWINE_PREFIX=<prefix>]
# (with RUN, SAMPLE_TOOL is the Windows one, run under Wine)
#              -P FlashAgainstPtyHandset.cmake
cmake_minimum_required(VERSION 3.25)

set(LEGACY)
set(FRAME_COUNT 4)
if(DIALECT STREQUAL "legacy")
  set(LEGACY --legacy)
  # The legacy run also sends the communication module image.
  set(FRAME_COUNT 5)
endif()

# Runs vuqctl (COMMAND...) against the handset behind LINK; RECORD gets the
# handset's frames.
function(flash_against_handset LINK RECORD)
  execute_process(
    COMMAND ${HANDSET} --link ${LINK} ${LEGACY} --time-scale ${TIME_SCALE} --record ${RECORD} -- ${ARGN}
    WORKING_DIRECTORY ${WORK_DIR} OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR RESULT_VARIABLE EXIT)
  if(NOT EXIT EQUAL 0)
    message(FATAL_ERROR "${ARGN}: exit ${EXIT}\n${OUT}${ERR}")
  endif()
  if(NOT OUT MATCHES "sample.dat: flashed")
    message(FATAL_ERROR "${ARGN}: not flashed\n${OUT}${ERR}")
  endif()
  file(STRINGS ${RECORD} FRAMES)
  list(LENGTH FRAMES COUNT)
  if(NOT COUNT EQUAL FRAME_COUNT)
    message(FATAL_ERROR "${ARGN}: the handset received ${COUNT} frames, not ${FRAME_COUNT}\n${OUT}${ERR}")
  endif()
  foreach(FRAME ${FRAMES})
    # KIND COMMAND DECLARED-SIZE PAYLOAD-SIZE CHECKSUM-OK HASH
    string(REPLACE " " ";" FIELDS "${FRAME}")
    list(GET FIELDS 0 KIND)
    list(GET FIELDS 4 CHECKSUM_OK)
    if(KIND EQUAL 5 OR NOT CHECKSUM_OK EQUAL 1)
      message(FATAL_ERROR "${ARGN}: a bad frame: ${FRAME}")
    endif()
  endforeach()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
# The sample tool of the build (under Wine in the Windows build, which also makes
# and boots the prefix).
execute_process(COMMAND ${RUN} ${SAMPLE_TOOL} sample.dat WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE EXIT)
if(NOT EXIT EQUAL 0)
  message(FATAL_ERROR "vuq_sample_image: exit ${EXIT}")
endif()

flash_against_handset(${WORK_DIR}/ttyVUQ ${WORK_DIR}/linux.txt
  ${LINUX_VUQCTL} flash ${LEGACY} --port ${WORK_DIR}/ttyVUQ --time-scale ${TIME_SCALE} sample.dat)

if(WINDOWS_VUQCTL)
  if(NOT IS_DIRECTORY ${WINE_PREFIX}/dosdevices)
    message(FATAL_ERROR "no Wine prefix at ${WINE_PREFIX}")
  endif()
  flash_against_handset(${WINE_PREFIX}/dosdevices/com7 ${WORK_DIR}/windows.txt
    ${RUN} ${WINDOWS_VUQCTL} flash ${LEGACY} --port "\\\\.\\COM7" --time-scale ${TIME_SCALE} sample.dat)
  file(READ ${WORK_DIR}/linux.txt LINUX_FRAMES)
  file(READ ${WORK_DIR}/windows.txt WINDOWS_FRAMES)
  if(NOT WINDOWS_FRAMES STREQUAL LINUX_FRAMES)
    message(FATAL_ERROR "vuqctl.exe sent other frames than the Linux vuqctl:\n"
      "Linux:\n${LINUX_FRAMES}Windows:\n${WINDOWS_FRAMES}")
  endif()
endif()
file(REMOVE_RECURSE ${WORK_DIR})
