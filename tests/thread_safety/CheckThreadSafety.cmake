# Proves at configure time that the thread-safety build checks anything: the
# proper use in ThreadSafetyProbe.cpp compiles with -Wthread-safety -Werror,
# and each misuse in it fails with a thread-safety finding. A compiler or flag
# that stopped checking would otherwise pass every build silently.
set(probe_source "${CMAKE_CURRENT_LIST_DIR}/ThreadSafetyProbe.cpp")
set(probe_cases
  "1:reading variable 'm_value' requires holding mutex"
  "2:writing variable 'm_value' requires holding mutex"
  "3:calling function 'Bump' requires holding mutex"
  "4:reading variable 'm_value' requires holding mutex"
  "5:reading variable 'm_value' requires holding mutex"
  "6:acquiring mutex 'm_mutex' that is already held")
foreach(probe IN ITEMS "0:" LISTS probe_cases)
  string(FIND "${probe}" ":" colon)
  string(SUBSTRING "${probe}" 0 ${colon} case)
  math(EXPR after "${colon} + 1")
  string(SUBSTRING "${probe}" ${after} -1 finding)
  try_compile(probe_compiled "${CMAKE_BINARY_DIR}/thread-safety-probe/${case}"
    SOURCES "${probe_source}"
    CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${CMAKE_SOURCE_DIR}"
    COMPILE_DEFINITIONS -DPROBE_CASE=${case} -Wthread-safety -Werror
    CXX_STANDARD 20
    OUTPUT_VARIABLE probe_output)
  if(case EQUAL 0 AND NOT probe_compiled)
    message(FATAL_ERROR "the thread-safety probe's proper use does not compile:\n${probe_output}")
  elseif(NOT case EQUAL 0 AND (probe_compiled OR NOT probe_output MATCHES "${finding}"))
    message(FATAL_ERROR "-Wthread-safety did not reject misuse ${case} of "
                        "ThreadSafetyProbe.cpp (expected \"${finding}\"):\n${probe_output}")
  endif()
endforeach()
message(STATUS "Thread-safety analysis rejects every misuse of the probe")
