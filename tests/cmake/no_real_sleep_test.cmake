# No test orders events by sleeping on the real clock: tests step the clock (KSleep through the stepped
# clock source) and wait on handshakes. Any of these calls in a test source fails this check.
#   cmake -DSOURCE_DIR=<source> -P no_real_sleep_test.cmake
cmake_policy(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/DazarChecks.cmake)
dazar_grep_sources(${SOURCE_DIR} tests
                   "(^|[^A-Za-z_])(usleep|nanosleep|sleep_for|sleep_until|SDL_Delay|sleep)[ \t]*\\(" found)
if(found)
  list(JOIN found "\n  " text)
  message(FATAL_ERROR "real-time sleeps in tests (step the clock or wait on a handshake) in:\n  ${text}")
endif()
