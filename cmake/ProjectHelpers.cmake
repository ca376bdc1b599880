# Small helpers shared by the rooms.

# ss_require_targets(SUITE TARGET...)
# A test suite whose build expects these targets: a missing one stops the
# configure step, so that the suite is never left out without a word.
function(ss_require_targets suite)
  foreach(target ${ARGN})
    if(NOT TARGET ${target})
      message(FATAL_ERROR "${suite}: the target ${target} is missing from this build")
    endif()
  endforeach()
endfunction()

# ss_add_gtest(NAME SOURCES... LIBS ...)
# Host build: one executable whose tests CTest discovers one by one.
# Cross build: one executable that CTest runs once through Wine (each Wine
# start costs time, so the tests of one executable share a process).
function(ss_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest gtest_main)
  target_include_directories(${name} PRIVATE ${SS_ROOT})
  if(SS_WINDOWS)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL ON)
    ss_wine_timeout(${name} 600)
  else()
    include(GoogleTest)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# ss_wine_timeout(TEST SECONDS)
# Cross build: the time limit of a test that runs Windows programs under
# Wine, given for the CPU itself. Where an emulated CPU runs them
# (scripts/wine-env.sh sets SS_WINE_SLOW), CTest multiplies the limit by
# SS_WINE_SLOW when it reads the tests: cmake/wine-timeouts writes the
# limits into a script that CTest reads after every test is defined.
function(ss_wine_timeout name seconds)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${seconds})
  set_property(GLOBAL APPEND PROPERTY SS_WINE_TIMEOUTS "${name}=${seconds}")
endfunction()

# ss_add_fuzzer(NAME SOURCES... LIBS ... [SEEDS dir] [SECONDS n])
# Sanitizer build only: a libFuzzer target plus a CTest entry that runs it for
# a bounded time over a scratch copy of its seed corpus.
function(ss_add_fuzzer name)
  if(NOT SS_SANITIZE)
    return()
  endif()
  cmake_parse_arguments(ARG "" "SEEDS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 20)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${SS_ROOT})
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  set(seed_arg "")
  if(ARG_SEEDS)
    set(seed_arg ${ARG_SEEDS})
  endif()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -E env bash -c
      "rm -rf '${corpus}' && mkdir -p '${corpus}' && exec \"$0\" -max_total_time=${ARG_SECONDS} -rss_limit_mb=1024 -timeout=10 -print_final_stats=0 '${corpus}' ${seed_arg}"
      $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS fuzz)
endfunction()

# ss_runtime_free_library(TARGET [ENTRY SYMBOL])
# A Windows library without the C runtime's start-up: its entry point is
# cmake/LibraryEntry.c (or the library's own stdcall SYMBOL, e.g.
# _impborl_entry@12), so it has no thread-local storage directory and
# imports only what its own code calls. Its code must not need static
# constructors or the runtime's initialisation (plain functions, msvcrt's
# string and memory calls are fine).
function(ss_runtime_free_library target)
  cmake_parse_arguments(ARG "" "ENTRY" "" ${ARGN})
  if(ARG_ENTRY)
    set(entry ${ARG_ENTRY})
  else()
    target_sources(${target} PRIVATE ${SS_ROOT}/cmake/LibraryEntry.c)
    set(entry _ss_library_entry@12)
  endif()
  target_link_options(${target} PRIVATE -nostartfiles -Wl,--entry,${entry})
endfunction()

# ss_link_map(TARGET)
# Cross build: the linker writes a map beside the file (its name with .map):
# which archive member and function every piece of the file came from.
# scripts/size-report.sh and scripts/pentium-check.sh read it.
function(ss_link_map target)
  target_link_options(${target} PRIVATE
    "-Wl,-Map=$<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.map")
endfunction()
