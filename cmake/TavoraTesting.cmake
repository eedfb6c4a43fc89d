# tavora_test(NAME LABEL SOURCES ... LIBS ... [TSAN] [TIMEOUT s] [ENV k=v ...]
#             [NEEDS harness ...])
# LABEL is one of: unit gui x11 pulse socks fuzz soak. NEEDS names the harnesses
# the test uses (by default the one its label names): gui runs offscreen, x11
# gets the Xvfb fixture, pulse the private PulseAudio daemon, socks the SOCKS
# servers. A test labelled pulse is registered a second time as NAME.pipewire,
# the same program against the private PipeWire (when TAVORA_TEST_PIPEWIRE is
# on): both servers' harnesses make the same devices, and the test reads which
# server it has from PULSE_SERVER, TAVORA_TEST_PULSE_DIR (the harness's
# directory), TAVORA_PULSE_HARNESS (the script that starts one) and
# TAVORA_TEST_SOUND_SERVER (pulse or pipewire).
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
  set(_sound_servers "")
  foreach(_harness IN LISTS ARG_NEEDS)
    if(_harness STREQUAL "gui")
      list(APPEND _env QT_QPA_PLATFORM=offscreen)
    elseif(_harness STREQUAL "x11")
      # The real program runs here: keep it off any sound server of the user's.
      list(APPEND _env DISPLAY=${TAVORA_XVFB_DISPLAY} QT_QPA_PLATFORM=xcb PULSE_SERVER=unix:/nonexistent/native)
      list(APPEND _fixtures xvfb)
      list(APPEND _locks xvfb)
    elseif(_harness STREQUAL "pulse")
      list(APPEND _env QT_QPA_PLATFORM=offscreen)
      # Real-time audio tests of both servers keep out of each other's way.
      list(APPEND _locks pulse)
      set(_sound_servers pulse)
      if(ARG_LABEL STREQUAL "pulse" AND TAVORA_TEST_PIPEWIRE)
        list(APPEND _sound_servers pipewire)
      endif()
    elseif(_harness STREQUAL "socks")
      list(APPEND _env QT_QPA_PLATFORM=offscreen TAVORA_TEST_SOCKS_DIR=${TAVORA_SOCKS_DIR})
      list(APPEND _fixtures socks)
    endif()
  endforeach()
  list(REMOVE_DUPLICATES _env)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(NOT _sound_servers)
    _tavora_test_properties(${name} "${_env}" "${_fixtures}")
    return()
  endif()
  foreach(_server IN LISTS _sound_servers)
    set(_test ${name})
    if(NOT _server STREQUAL "pulse")
      set(_test ${name}.${_server})
      add_test(NAME ${_test} COMMAND ${name})
    endif()
    set(_dir ${TAVORA_HARNESS_DIR}/${_server})
    _tavora_test_properties(${_test}
      "${_env};PULSE_SERVER=unix:${_dir}/run/native;TAVORA_TEST_PULSE_DIR=${_dir};TAVORA_PULSE_HARNESS=${CMAKE_SOURCE_DIR}/tests/harness/${_server}.sh;TAVORA_TEST_SOUND_SERVER=${_server}"
      "${_fixtures};${_server}")
  endforeach()
endfunction()

# Label, time limit, environment, fixtures and locks of one registered test
# (the caller's ARG_LABEL, ARG_TIMEOUT and _locks).
function(_tavora_test_properties test env fixtures)
  set_tests_properties(${test} PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT}
                       ENVIRONMENT "${env}")
  if(fixtures)
    set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED "${fixtures}")
  endif()
  if(_locks)
    set_tests_properties(${test} PROPERTIES RESOURCE_LOCK "${_locks}")
  endif()
endfunction()
