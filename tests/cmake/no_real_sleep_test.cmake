# No test orders events by sleeping on the real clock: tests step the clock (KSleep through the stepped
# clock source) and wait on handshakes. Any of these calls in a test source fails this check.
#   cmake -DSOURCE_DIR=<source> -P no_real_sleep_test.cmake
cmake_policy(VERSION 3.25)
file(GLOB_RECURSE sources ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h)
set(found "")
foreach(f ${sources})
  file(STRINGS ${f} lines REGEX "(^|[^A-Za-z_])(usleep|nanosleep|sleep_for|sleep_until|SDL_Delay|sleep)[ \t]*\\(")
  foreach(line ${lines})
    file(RELATIVE_PATH rel ${SOURCE_DIR} ${f})
    string(STRIP "${line}" line)
    string(APPEND found "\n  ${rel}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "real-time sleeps in tests (step the clock or wait on a handshake):${found}")
endif()
