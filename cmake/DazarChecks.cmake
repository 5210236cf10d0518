# Checks on the source tree that run at configure time; no targets, so a cmake -P script can call them.

# Folders directly under platform/ and lib/ that hold .cpp files but are not in `listed` (relative paths).
function(dazar_unlisted_modules root listed out)
  set(found "")
  foreach(top platform lib)
    file(GLOB children LIST_DIRECTORIES true ${root}/${top}/*)
    foreach(child ${children})
      file(GLOB srcs ${child}/*.cpp)
      file(RELATIVE_PATH rel ${root} ${child})
      if(IS_DIRECTORY ${child} AND srcs AND NOT rel IN_LIST listed)
        list(APPEND found ${rel})
      endif()
    endforeach()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# The .cpp and .h files below root/<each of tops> with a line matching regex, relative to root.
function(dazar_grep_sources root tops regex out)
  set(found "")
  foreach(top ${tops})
    file(GLOB_RECURSE files ${root}/${top}/*.cpp ${root}/${top}/*.h)
    foreach(f ${files})
      file(STRINGS ${f} hits REGEX "${regex}")
      if(hits)
        file(RELATIVE_PATH rel ${root} ${f})
        list(APPEND found ${rel})
      endif()
    endforeach()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# Refuses sources that include <chrono>, which -fexec-charset=CP932 cannot build.
function(dazar_check_exec_charset root)
  dazar_grep_sources(${root} "lib;platform;game;tools;tests" "^[ \t]*#[ \t]*include[ \t]*<chrono>" users)
  if(users)
    message(FATAL_ERROR "${users}: <chrono> cannot be built with -fexec-charset=CP932, which every "
                        "file takes so that literals are Shift-JIS (a literal in <chrono> has no "
                        "Shift-JIS form). Take durations from <thread> or <condition_variable> and the "
                        "time from KGetTime or KQueryPerformanceCounter.")
  endif()
endfunction()
