# Helpers shared by every subsystem's CMakeLists.

# tp_library(NAME SOURCES... [DEPS targets...]): one static library per subsystem,
# with the repository root on the include path ("core/registry.h").
function(tp_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# tp_test(NAME LABEL label [DESKTOP] SOURCES... [DEPS targets...] [TIMEOUT s]): one
# GoogleTest program; every case in it becomes a CTest test carrying the
# subsystem's label. DESKTOP marks a program that shows windows (implied by the
# labels window, gadget and app).
# In the Windows build the program runs under Wine instead, as one CTest test
# labelled `wine` and the subsystem (starting a Wine process costs about as much
# as a whole suite, so cases are not run one process each), and the whole
# program may run for TIMEOUT seconds, at least 600.
function(tp_test name)
  cmake_parse_arguments(ARG "DESKTOP" "LABEL;TIMEOUT" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} tp_test_support GTest::gtest GTest::gmock)
  if(CMAKE_CROSSCOMPILING AND name IN_LIST TP_WINE_EXCLUDE)
    # Listed in tests/CMakeLists.txt as not ready for Windows: neither built nor run.
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
    return()
  endif()
  if(CMAKE_CROSSCOMPILING)
    if(NOT ARG_TIMEOUT OR ARG_TIMEOUT LESS 600)
      set(ARG_TIMEOUT 600)
    endif()
    # The emulator (tools/wine-run) is put in front of the program by CMake;
    # its own limit ends Wine cleanly before CTest's would.
    math(EXPR hard_limit "${ARG_TIMEOUT} + 30")
    set(environment "TILEPOST_WINE_TIMEOUT=${ARG_TIMEOUT}")
    if(TP_WINE_SKIP_${name})
      # Cases listed in tests/CMakeLists.txt as not passing under Wine yet.
      list(JOIN TP_WINE_SKIP_${name} ":" skipped)
      list(APPEND environment "GTEST_FILTER=-${skipped}")
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      LABELS "wine;${ARG_LABEL}"
      TIMEOUT ${hard_limit}
      ENVIRONMENT "${environment}")
    # Programs with windows share one desktop, where only one can be in front:
    # they run one at a time.
    if(ARG_DESKTOP OR ARG_LABEL MATCHES "^(window|gadget|app)$")
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_desktop)
    endif()
  else()
    if(NOT ARG_TIMEOUT)
      set(ARG_TIMEOUT 120)
    endif()
    gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT})
  endif()
endfunction()
