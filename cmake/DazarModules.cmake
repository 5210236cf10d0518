# A module is a folder of .cpp files built as an object library. Only platform/ folders see SDL2,
# so lib/ and game/ cannot include it by accident.
set(DAZAR_OBJECT_LIBS "" CACHE INTERNAL "")

function(dazar_module dir)
  cmake_parse_arguments(M "PLATFORM" "" "" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  string(REPLACE "/" "_" name "dz_${dir}")
  add_library(${name} OBJECT ${srcs})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_include_directories(${name} SYSTEM PRIVATE
      ${FREETYPE_INCLUDE_DIRS} ${PNG_INCLUDE_DIRS} ${JPEG_INCLUDE_DIRS}
      ${FLUIDSYNTH_INCLUDE_DIRS} ${MPG123_INCLUDE_DIRS} ${VORBISFILE_INCLUDE_DIRS} ${THEORA_INCLUDE_DIRS})
  if(M_PLATFORM)
    target_include_directories(${name} SYSTEM PRIVATE ${SDL2_INCLUDE_DIRS})
  endif()
  set(DAZAR_OBJECT_LIBS ${DAZAR_OBJECT_LIBS} ${name} CACHE INTERNAL "")
endfunction()

function(dazar_finish_library)
  set(objs "")
  foreach(lib ${DAZAR_OBJECT_LIBS})
    list(APPEND objs $<TARGET_OBJECTS:${lib}>)
  endforeach()
  add_library(dazarlib STATIC ${objs} ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  target_include_directories(dazarlib PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(dazarlib PUBLIC
      PkgConfig::SDL2 PkgConfig::FREETYPE PkgConfig::PNG PkgConfig::FLUIDSYNTH PkgConfig::MPG123
      PkgConfig::VORBISFILE PkgConfig::THEORA JPEG::JPEG Threads::Threads ${CMAKE_DL_LIBS})
endfunction()

# Every folder under tests/ with .cpp files becomes one test program, labelled by its folder.
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
    # The headless environment is set by the shared test main (tests/support/test_main.cpp).
    gtest_discover_tests(${name} PROPERTIES LABELS "${label}" DISCOVERY_TIMEOUT 60)
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
  target_link_libraries(${name} PRIVATE dazarlib benchmark::benchmark)
  set(smoke_args --benchmark_min_time=0.001)
  if(B_SMOKE_FILTER)
    list(APPEND smoke_args "--benchmark_filter=${B_SMOKE_FILTER}")
  endif()
  add_test(NAME ${name}_smoke COMMAND ${name} ${smoke_args})
  set_tests_properties(${name}_smoke PROPERTIES LABELS bench
      ENVIRONMENT "SDL_VIDEODRIVER=dummy;SDL_AUDIODRIVER=dummy;DAZAR_SINGLE_INSTANCE=0")
endfunction()
