# Warnings every target of ours builds with.
function(tarvel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# What every test program gets: a check that it ends its threads before it
# exits, and the launcher that runs a test once more when its only failure
# was a crash of the leak checker's tracer (cmake/test_launcher.sh says why).
function(tarvel_test_program target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/single_thread_at_exit.cpp)
  set_target_properties(${target} PROPERTIES
    CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/test_launcher.sh
    TEST_LAUNCHER ${PROJECT_SOURCE_DIR}/cmake/test_launcher.sh)
endfunction()

# tarvel_test(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable per folder, discovered by ctest.
function(tarvel_test name)
  if(NOT TARVEL_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  tarvel_warnings(${name})
  tarvel_test_program(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  # The software rasteriser draws on the calling thread: ctest runs many
  # tests at once, and a pool of idle driver threads per process only
  # crowds the cores and the leak checker's stop of every thread at exit.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 ENVIRONMENT LP_NUM_THREADS=0)
endfunction()

# Marks sources that must run without sanitizer instrumentation (fault
# helpers and the crash dump, so the guard and not the sanitizer sees a fault).
#   tarvel_no_sanitize(<files...> [TARGET_DIRECTORY <target>])
# Source properties belong to the folder that defines the target: name the
# target when the sources are added to one defined elsewhere (the engine).
function(tarvel_no_sanitize)
  cmake_parse_arguments(N "" "TARGET_DIRECTORY" "" ${ARGN})
  if(N_TARGET_DIRECTORY)
    set_source_files_properties(${N_UNPARSED_ARGUMENTS} TARGET_DIRECTORY ${N_TARGET_DIRECTORY}
      PROPERTIES COMPILE_OPTIONS "-fno-sanitize=all")
  else()
    set_source_files_properties(${N_UNPARSED_ARGUMENTS} PROPERTIES COMPILE_OPTIONS
      "-fno-sanitize=all")
  endif()
endfunction()
