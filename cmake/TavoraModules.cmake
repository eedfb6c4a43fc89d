# One static library per source folder. Sources are collected from the folder
# itself (not its sub-folders, which are modules of their own), so adding a
# file never means editing a CMake list.
function(tavora_module name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.cpp)
  file(GLOB _extra CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.h ${CMAKE_SOURCE_DIR}/src/${dir}/*.qrc)
  # The forms are listed too, so that a new or changed form re-runs uic.
  if("Qt6::Widgets" IN_LIST ARG_DEPS)
    file(GLOB _forms CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/forms/*.ui)
    list(APPEND _extra ${_forms})
  endif()
  add_library(${name} STATIC ${_sources} ${_extra})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()
