# Configures small made-up trees with the build's own module rules and checks that each broken one stops
# with its reason: a listed folder without sources, a folder with sources left unlisted, a platform-only
# library called from lib/ (by name, or through another library's include folders), a source with <chrono>.
#   cmake -DSOURCE_DIR=<source> -DWORK_DIR=<scratch folder> -P module_rules_test.cmake

cmake_policy(VERSION 3.25)

# Each case: name | module lines | files to create (","-separated, "path=text") | words the error must hold
set(cases
  "listed_missing|dazar_module(lib/a)\ndazar_module(lib/gone)|lib/a/a.cpp=|lib/gone is listed as a module but holds no .cpp files"
  "unlisted|dazar_module(lib/a)|lib/a/a.cpp=,platform/extra/x.cpp=|not listed with dazar_module() in CMakeLists.txt: platform/extra"
  "sdl_in_lib|dazar_module(lib/a USES FAKESDL)|lib/a/a.cpp=|lib/a uses FAKESDL, which only platform/ folders may call"
  "sdl_through_other|dazar_module(lib/a USES CARRIER)|lib/a/a.cpp=|lib/a uses CARRIER, whose include folder /opt/sdl holds platform-only"
  "sdl_in_platform|dazar_module(platform/w USES FAKESDL)\ndazar_module(lib/a USES OTHER)|platform/w/w.cpp=,lib/a/a.cpp=|"
  "old_keyword|dazar_module(platform/w PLATFORM)|platform/w/w.cpp=|unexpected PLATFORM"
  "chrono|dazar_module(lib/a)|lib/a/a.cpp=#include <thread>,lib/a/b.h=  #include <chrono>|lib/a/b.h: <chrono> cannot be built with -fexec-charset=CP932"
)

set(failures "")
foreach(c ${cases})
  string(REPLACE "|" ";" parts "${c}")
  list(GET parts 0 name)
  list(GET parts 1 modules)
  list(GET parts 2 files)
  list(LENGTH parts n)
  set(expect "")
  if(n GREATER 3)
    list(GET parts 3 expect)
  endif()
  set(root ${WORK_DIR}/${name})
  file(REMOVE_RECURSE ${root})
  string(REPLACE "," ";" files "${files}")
  foreach(f ${files})
    string(REGEX MATCH "^([^=]*)=(.*)$" _ "${f}")
    file(WRITE ${root}/${CMAKE_MATCH_1} "${CMAKE_MATCH_2}\n")
  endforeach()
  string(REPLACE "\\n" "\n" modules "${modules}")
  # No compiler: the rules all run while configuring, before anything is generated.
  file(WRITE ${root}/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(rules LANGUAGES NONE)
include(${SOURCE_DIR}/cmake/DazarModules.cmake)
dazar_check_exec_charset(\${CMAKE_SOURCE_DIR})
add_library(fake_sdl INTERFACE)
target_include_directories(fake_sdl INTERFACE /opt/sdl)
add_library(fake_carrier INTERFACE)
target_include_directories(fake_carrier INTERFACE /opt/carrier /opt/sdl)
add_library(fake_other INTERFACE)
target_include_directories(fake_other INTERFACE /opt/other)
dazar_dependency(FAKESDL fake_sdl PLATFORM_ONLY)
dazar_dependency(CARRIER fake_carrier)
dazar_dependency(OTHER fake_other)
${modules}
dazar_finish_library()
message(STATUS \"rules passed\")
")
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${root} -B ${root}/build
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX REPLACE "[ \n]+" " " said "${out}${err}")
  if(expect STREQUAL "")
    if(NOT said MATCHES "rules passed")
      list(APPEND failures "${name}: refused a sound tree: ${said}")
    endif()
  else()
    string(FIND "${said}" "${expect}" at)
    if(rc EQUAL 0 OR at LESS 0 OR said MATCHES "rules passed")
      list(APPEND failures "${name}: expected \"${expect}\", got: ${said}")
    endif()
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "module rules:\n  ${text}")
endif()
