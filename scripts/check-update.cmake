# Refuses to let the build carry a broken update: the packed archive must
# pass "lzx test" (every block, check and record) and hold an entry.
#   cmake -DLZX=lzx -DARCHIVE=carried.lzx -DLIST=update.list -P check-update.cmake
execute_process(COMMAND "${LZX}" -q test "${ARCHIVE}" RESULT_VARIABLE tested ERROR_VARIABLE why)
if(NOT tested EQUAL 0)
  file(REMOVE "${ARCHIVE}")
  message(FATAL_ERROR "the update packed from ${LIST} fails 'lzx test': ${why}")
endif()
execute_process(COMMAND "${LZX}" list --tsv "${ARCHIVE}" RESULT_VARIABLE listed OUTPUT_VARIABLE records)
string(REGEX MATCHALL "\n" lines "${records}")
list(LENGTH lines count)
if(NOT listed EQUAL 0 OR count LESS 2)
  file(REMOVE "${ARCHIVE}")
  message(FATAL_ERROR "the update packed from ${LIST} holds no entry: nothing would be installed")
endif()
