# tavora_test(NAME LABEL SOURCES ... LIBS ... [TSAN] [TIMEOUT s] [ENV k=v ...]
#             [NEEDS harness ...])
# LABEL is one of: unit gui x11 pulse socks fuzz soak. NEEDS names the harnesses
# the test uses (by default the one its label names): gui runs offscreen, x11
# gets the Xvfb fixture, pulse the private PulseAudio daemon, socks the SOCKS
# servers.
# In a ThreadSanitizer build only tests marked TSAN are registered: Qt's own
# libraries are not instrumented, so other tests would report false races.
function(tavora_test name)
  cmake_parse_arguments(ARG "TSAN" "LABEL;TIMEOUT" "SOURCES;LIBS;ENV;NEEDS" ${ARGN})
  if(NOT ARG_NEEDS)
    set(ARG_NEEDS ${ARG_LABEL})
  endif()
  if(TAVORA_SANITIZE MATCHES "thread" AND NOT ARG_TSAN)
    return()
  endif()
  if(TAVORA_SANITIZE AND NOT ARG_LABEL MATCHES "^(unit|gui)$" AND NOT ARG_TSAN)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  add_test(NAME ${name} COMMAND ${name})
  set(_env ${ARG_ENV})
  set(_fixtures "")
  set(_locks "")
  foreach(_harness IN LISTS ARG_NEEDS)
    if(_harness STREQUAL "gui")
      list(APPEND _env QT_QPA_PLATFORM=offscreen)
    elseif(_harness STREQUAL "x11")
      # The real program runs here: keep it off any sound server of the user's.
      list(APPEND _env DISPLAY=${TAVORA_XVFB_DISPLAY} QT_QPA_PLATFORM=xcb PULSE_SERVER=unix:/nonexistent/native)
      list(APPEND _fixtures xvfb)
      list(APPEND _locks xvfb)
    elseif(_harness STREQUAL "pulse")
      list(APPEND _env QT_QPA_PLATFORM=offscreen
           PULSE_SERVER=unix:${TAVORA_PULSE_DIR}/run/native
           TAVORA_TEST_PULSE_DIR=${TAVORA_PULSE_DIR})
      list(APPEND _fixtures pulse)
      list(APPEND _locks pulse)
    elseif(_harness STREQUAL "socks")
      list(APPEND _env QT_QPA_PLATFORM=offscreen TAVORA_TEST_SOCKS_DIR=${TAVORA_SOCKS_DIR})
      list(APPEND _fixtures socks)
    endif()
  endforeach()
  list(REMOVE_DUPLICATES _env)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT}
                       ENVIRONMENT "${_env}")
  if(_fixtures)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${_fixtures}")
  endif()
  if(_locks)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${_locks}")
  endif()
endfunction()
