# The game carries nothing of the tests: no function or variable it defines, global or local to its
# file, is one the test-support library defines, and no global one has the name of a global of the
# test-support library or is named like a test hook (<Prefix>Test<Name>: D3dTestFail, WTestPushKey, ...).
# Nor does the game keep state for the tests alone: the only variables of the game the test-support
# library reads are the stand-ins' own state records below; a count or a flag kept for the tests goes
# behind the stand-in's hook table, and the test-support library keeps it.
#   cmake -DNM=<nm> -DPROGRAM=<game> -DHOOKS=<libdazar_test_hooks.a> -P no_test_symbols_test.cmake
cmake_policy(VERSION 3.25)

# The lines of nm's demangled list of a file's symbols (which: --defined-only or --undefined-only).
function(nm_lines file which out)
  execute_process(COMMAND ${NM} -C ${which} ${file} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} could not read ${file}")
  endif()
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# The strong code and data symbols a file defines, global and local, demangled: functions with their
# argument lists (unrelated static functions of one name in two files differ in them), variables by
# name. The compiler's and the standard library's own are left out. Global names cut at the argument
# list go to <out>_global, global variables to <out>_data.
function(defined_symbols file out)
  nm_lines(${file} --defined-only lines)
  set(names "")
  set(globals "")
  set(data "")
  foreach(line ${lines})
    if(NOT line MATCHES "^[0-9a-f]* ([TDBRtdbr]) ((\\(anonymous namespace\\)::)?[A-Za-z][A-Za-z0-9_:]*)(.*)$")
      continue()
    endif()
    set(kind "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    set(rest "${CMAKE_MATCH_4}")
    if(name MATCHES "^(std|__gnu_cxx)::" OR NOT (rest STREQUAL "" OR rest MATCHES "^[(<]"))
      continue()
    endif()
    list(APPEND names "${name}${rest}")
    if(kind MATCHES "[TDBR]")
      list(APPEND globals "${name}")
    endif()
    if(kind MATCHES "[DBR]" AND rest STREQUAL "")
      list(APPEND data "${name}")
    endif()
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
  set(${out}_global "${globals}" PARENT_SCOPE)
  set(${out}_data "${data}" PARENT_SCOPE)
endfunction()

# The names a file uses without defining them.
function(used_symbols file out)
  nm_lines(${file} --undefined-only lines)
  set(names "")
  foreach(line ${lines})
    if(line MATCHES "^ *U ([A-Za-z][A-Za-z0-9_:]*)$")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

defined_symbols(${PROGRAM} game)
defined_symbols(${HOOKS} hooks)
used_symbols(${HOOKS} hooks_used)
set(state_records gAcm gD3d gD3dLists gDd gDs gDsModuleName gMci gMmDecoders gWin kAudioBackendManual kDsExports)
list(LENGTH game_global count)
if(count LESS 100)
  message(FATAL_ERROR "only ${count} symbols read from ${PROGRAM}: the check would prove nothing")
endif()
set(found "")
foreach(name ${game})
  if(name IN_LIST hooks)
    list(APPEND found "${name}")
  endif()
endforeach()
foreach(name ${game_global})
  if(name IN_LIST hooks_global OR name MATCHES "^[A-Z][a-z0-9]*Test[A-Z]")
    list(APPEND found "${name}")
  endif()
endforeach()
foreach(name ${game_data})
  if(name IN_LIST hooks_used AND NOT name IN_LIST state_records)
    list(APPEND found "${name} (a variable of the game the test support reads)")
  endif()
endforeach()
if(found)
  list(REMOVE_DUPLICATES found)
  list(JOIN found "\n  " text)
  message(FATAL_ERROR "test code in the game (move it into testsupport/, behind a hook table; a file-local name "
                      "that only happens to be the same is renamed):\n  ${text}")
endif()
