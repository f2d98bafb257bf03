# Refuses to let the build carry a broken update: the packed archive must
# pass "lzx test" (every block, check and record) and hold an entry. Given
# VERSION (the programs' version, MAJOR.MINOR), the highest entry version
# must be that version (203 for 2.03): the dialog and the version record
# say that version, and the update must be it. Given ENTRIES, the entries
# are written there ("lzx list --tsv").
#   cmake -DLZX=lzx -DARCHIVE=carried.lzx -DLIST=update.list [-DVERSION=2.03]
#         [-DENTRIES=carried.tsv] -P check-update.cmake
cmake_minimum_required(VERSION 3.25) # the list commands keep empty elements (CMP0007)
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

if(DEFINED VERSION)
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)$" parts "${VERSION}")
  math(EXPR expected "${CMAKE_MATCH_1} * 100 + ${CMAKE_MATCH_2}")
  set(highest -1)
  string(REPLACE "\n" ";" rows "${records}")
  list(REMOVE_AT rows 0)
  foreach(row IN LISTS rows)
    if(row MATCHES "^[^\t]*\t[0-9]+\t([0-9]+)\t" AND CMAKE_MATCH_1 GREATER highest)
      set(highest ${CMAKE_MATCH_1})
    endif()
  endforeach()
  if(NOT highest EQUAL expected)
    file(REMOVE "${ARCHIVE}")
    message(FATAL_ERROR "the update packed from ${LIST} is version ${highest} (its highest entry version), "
            "but the programs are version ${VERSION} (${expected}), which their dialog and version record show: "
            "set project(VERSION) in CMakeLists.txt or the list's V= values so that they agree")
  endif()
endif()
if(DEFINED ENTRIES)
  file(WRITE "${ENTRIES}" "${records}")
endif()
