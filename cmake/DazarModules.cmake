# A module is a folder of .cpp files built as an object library. Each module names the outside
# libraries it calls (USES); only those give it their include folders and flags, so a header nothing
# declared does not compile. SDL2 and OpenGL are for platform/ folders alone.
include(${CMAKE_CURRENT_LIST_DIR}/DazarChecks.cmake)

set(DAZAR_OBJECT_LIBS "" CACHE INTERNAL "")
set(DAZAR_MODULE_DIRS "" CACHE INTERNAL "")
set(DAZAR_MODULE_DEPS "" CACHE INTERNAL "")

# dazar_dependency(NAME target [PLATFORM_ONLY]): makes NAME usable in USES lists.
function(dazar_dependency dep target)
  cmake_parse_arguments(D "PLATFORM_ONLY" "" "" ${ARGN})
  if(NOT TARGET ${target})
    message(FATAL_ERROR "dazar_dependency(${dep}): ${target} is not a target (find it first)")
  endif()
  set_property(GLOBAL PROPERTY DAZAR_DEP_${dep} ${target})
  set_property(GLOBAL PROPERTY DAZAR_DEP_${dep}_PLATFORM_ONLY ${D_PLATFORM_ONLY})
  if(D_PLATFORM_ONLY)
    get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
    if(dirs)
      set_property(GLOBAL APPEND PROPERTY DAZAR_PLATFORM_ONLY_INCLUDES ${dirs})
    endif()
  endif()
endfunction()

# Gives target the flags of each named dependency. `where` is the folder the code lives in: the library
# (lib/) and the game may not take a platform-only one, nor one whose include folders reach a
# platform-only header; tests and tools may.
function(dazar_uses target where)
  get_property(banned GLOBAL PROPERTY DAZAR_PLATFORM_ONLY_INCLUDES)
  foreach(dep ${ARGN})
    get_property(lib GLOBAL PROPERTY DAZAR_DEP_${dep})
    if(NOT lib)
      message(FATAL_ERROR "${where}: unknown dependency ${dep} (declare it with dazar_dependency)")
    endif()
    if(where MATCHES "^(lib|game)(/|$)")
      get_property(only GLOBAL PROPERTY DAZAR_DEP_${dep}_PLATFORM_ONLY)
      if(only)
        message(FATAL_ERROR "${where} uses ${dep}, which only platform/ folders may call")
      endif()
      get_target_property(dirs ${lib} INTERFACE_INCLUDE_DIRECTORIES)
      foreach(d ${dirs})
        if(d IN_LIST banned)
          message(FATAL_ERROR "${where} uses ${dep}, whose include folder ${d} holds platform-only "
                              "headers; call it from a platform/ folder instead")
        endif()
      endforeach()
    endif()
    target_link_libraries(${target} PRIVATE ${lib})
  endforeach()
endfunction()

# dazar_module(dir [USES dep...]): a listed folder must hold sources (see dazar_finish_library).
function(dazar_module dir)
  cmake_parse_arguments(M "" "" "USES" ${ARGN})
  if(M_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "dazar_module(${dir}): unexpected ${M_UNPARSED_ARGUMENTS}; "
                        "write dazar_module(${dir} USES <dependency>...)")
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT srcs)
    message(FATAL_ERROR "${dir} is listed as a module but holds no .cpp files")
  endif()
  string(REPLACE "/" "_" name "dz_${dir}")
  add_library(${name} OBJECT ${srcs})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  dazar_uses(${name} ${dir} ${M_USES})
  set_property(GLOBAL PROPERTY DAZAR_MODULE_USES_${dir} ${M_USES})
  set(DAZAR_OBJECT_LIBS ${DAZAR_OBJECT_LIBS} ${name} CACHE INTERNAL "")
  set(DAZAR_MODULE_DIRS ${DAZAR_MODULE_DIRS} ${dir} CACHE INTERNAL "")
  set(DAZAR_MODULE_DEPS ${DAZAR_MODULE_DEPS} ${M_USES} CACHE INTERNAL "")
endfunction()

# The one static library: every module's objects, linked with every dependency a module uses. The
# dependencies are private, so what links the library gets their link lines and none of their headers.
function(dazar_finish_library)
  dazar_unlisted_modules(${CMAKE_SOURCE_DIR} "${DAZAR_MODULE_DIRS}" unlisted)
  if(unlisted)
    message(FATAL_ERROR "These folders hold sources but are not listed with dazar_module() in "
                        "CMakeLists.txt: ${unlisted}")
  endif()
  set(objs "")
  foreach(lib ${DAZAR_OBJECT_LIBS})
    list(APPEND objs $<TARGET_OBJECTS:${lib}>)
  endforeach()
  add_library(dazarlib STATIC ${objs} ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  target_include_directories(dazarlib PUBLIC ${CMAKE_SOURCE_DIR})
  set(deps ${DAZAR_MODULE_DEPS})
  list(REMOVE_DUPLICATES deps)
  foreach(dep ${deps})
    get_property(lib GLOBAL PROPERTY DAZAR_DEP_${dep})
    target_link_libraries(dazarlib PRIVATE ${lib})
  endforeach()
  target_link_libraries(dazarlib PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
endfunction()

# Every folder under tests/ with .cpp files becomes one test program, labelled by its folder, run once per
# test and once whole (label "whole"). It gets
# the dependencies of the module it mirrors (tests/image: lib/image; tests/platform/mci: platform/mci).
function(dazar_tests)
  file(GLOB_RECURSE all CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.cpp)
  set(dirs "")
  foreach(src ${all})
    get_filename_component(d ${src} DIRECTORY)
    list(APPEND dirs ${d})
  endforeach()
  list(REMOVE_DUPLICATES dirs)
  foreach(d ${dirs})
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/tests ${d})
    if(rel STREQUAL "support")
      continue()
    endif()
    file(GLOB srcs CONFIGURE_DEPENDS ${d}/*.cpp)
    string(REPLACE "/" "_" name "test_${rel}")
    string(REPLACE "/" ";" parts "${rel}")
    list(GET parts -1 label)
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE dazar_test_support dazarlib GTest::gtest)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    foreach(mirror lib/${rel} ${rel})
      get_property(uses GLOBAL PROPERTY DAZAR_MODULE_USES_${mirror})
      if(uses)
        dazar_uses(${name} tests/${rel} ${uses})
      endif()
    endforeach()
    # The headless environment is set by the shared test main (tests/support/test_main.cpp).
    gtest_discover_tests(${name} PROPERTIES LABELS "${label}" DISCOVERY_TIMEOUT 60)
    # The same program run whole, as one process: what one test leaves behind must not break the next.
    add_test(NAME ${name}_whole COMMAND ${name})
    set_tests_properties(${name}_whole PROPERTIES LABELS "whole;${label}")
  endforeach()
endfunction()

# A Google Benchmark program under tools/, built only with DAZAR_BENCHMARKS. Its smoke test (label
# "bench") proves that it builds and runs, over the benchmarks SMOKE_FILTER names when they are many;
# real figures come from a Release build run by hand.
function(dazar_benchmark name)
  if(NOT DAZAR_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(B "" "SMOKE_FILTER" "" ${ARGN})
  add_executable(${name} ${B_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE dazar_test_hooks dazarlib benchmark::benchmark)
  set(smoke_args --benchmark_min_time=0.001)
  if(B_SMOKE_FILTER)
    list(APPEND smoke_args "--benchmark_filter=${B_SMOKE_FILTER}")
  endif()
  add_test(NAME ${name}_smoke COMMAND ${name} ${smoke_args})
  set_tests_properties(${name}_smoke PROPERTIES LABELS bench)
  dazar_headless_test(${name}_smoke)
endfunction()

# A test of a program without the shared test main runs headless as that main makes the test
# programs, whatever the caller's shell holds: SDL's dummy drivers, no display, no session bus.
function(dazar_headless_test name)
  set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "SDL_VIDEODRIVER=dummy;SDL_AUDIODRIVER=dummy;DAZAR_SINGLE_INSTANCE=0"
      ENVIRONMENT_MODIFICATION "DISPLAY=unset:;WAYLAND_DISPLAY=unset:;DBUS_SESSION_BUS_ADDRESS=set:unix:path=/nonexistent")
endfunction()
