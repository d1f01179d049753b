# Test harness: GoogleTest cross-built with the product's toolchain, and a way
# to run any cross-built test program under Wine in a prefix of its own.

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    # GoogleTest's own sources are not ours to keep warning-clean.
    target_compile_options(${t} PRIVATE -w)
  endif()
endforeach()

set(WINE_TEST_RUNNER ${CMAKE_SOURCE_DIR}/testbed/run-wine-test.sh)
set(WINE_TEMPLATE_SCRIPT ${CMAKE_SOURCE_DIR}/testbed/make-template.sh)

# The Wine prefix that every test copies; made afresh at the start of each run.
add_test(NAME wine_prefix_template
         COMMAND ${WINE_TEMPLATE_SCRIPT} ${CMAKE_BINARY_DIR})
set_tests_properties(wine_prefix_template PROPERTIES
  FIXTURES_SETUP wine_prefix TIMEOUT 300 LABELS harness)

set(KOPIWA_FUZZ_TIMEOUT 300 CACHE STRING "Seconds a hostile-input test may take")

# kopiwa_add_wine_test(NAME n TARGET t [FILTER gtest-filter] [ARGS ...]
#                      [RESOURCE_LOCK lock] [TIMEOUT s])
# Runs a cross-built test program under Wine, in its own copy of the template
# prefix and on its own Xvfb screen.
function(kopiwa_add_wine_test)
  cmake_parse_arguments(W "" "NAME;TARGET;FILTER;TIMEOUT" "ARGS;RESOURCE_LOCK;LABELS" ${ARGN})
  set(args ${W_ARGS})
  if(W_FILTER)
    list(APPEND args --gtest_filter=${W_FILTER})
  endif()
  add_test(NAME ${W_NAME}
           COMMAND ${WINE_TEST_RUNNER} ${CMAKE_BINARY_DIR} ${W_NAME} $<TARGET_FILE:${W_TARGET}> ${args})
  if(NOT W_TIMEOUT)
    set(W_TIMEOUT 300)
  endif()
  # The hostile-input loops run a few seconds in make test; make fuzz asks
  # for many more cases and gives them the time for it.
  if("fuzz" IN_LIST W_LABELS)
    set(W_TIMEOUT ${KOPIWA_FUZZ_TIMEOUT})
  endif()
  set_tests_properties(${W_NAME} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT ${W_TIMEOUT})
  set_property(GLOBAL APPEND PROPERTY KOPIWA_TEST_REGISTRATION "entry ${W_NAME} ${W_TARGET} ${W_FILTER}")
  if(W_RESOURCE_LOCK)
    set_tests_properties(${W_NAME} PROPERTIES RESOURCE_LOCK "${W_RESOURCE_LOCK}")
  endif()
  if(W_LABELS)
    set_tests_properties(${W_NAME} PROPERTIES LABELS "${W_LABELS}")
  endif()
endfunction()

# kopiwa_add_gtest_program(target sources... LIBS libs...)
function(kopiwa_add_gtest_program target)
  cmake_parse_arguments(G "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${G_SOURCES} ${CMAKE_SOURCE_DIR}/testbed/support/double_precision.cpp)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/runtime)
  target_link_libraries(${target} PRIVATE ${G_LIBS} gmock gtest_main)
  # Test programs run as console programs so that Wine shows their output.
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE OFF)
  # The program's own sources, where its tests are defined, for the
  # registration check below.
  set(sources "")
  foreach(source ${G_SOURCES})
    if(source MATCHES "\\.cpp$" AND NOT source MATCHES "^\\$<")
      get_filename_component(source ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      string(APPEND sources " ${source}")
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY KOPIWA_TEST_REGISTRATION "program ${target}${sources}")
endfunction()

# Called once every test is added: a check that each test of each GoogleTest
# program is run by exactly one ctest entry (testbed/check-registration.py),
# from the programs and entries the two functions above noted. It reads the
# sources when it runs, so a test added since the last configure counts.
function(kopiwa_add_registration_check)
  get_property(lines GLOBAL PROPERTY KOPIWA_TEST_REGISTRATION)
  list(JOIN lines "\n" text)
  file(WRITE ${CMAKE_BINARY_DIR}/test-registration.txt "${text}\n")
  add_test(NAME harness.registration
           COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/testbed/check-registration.py
                   ${CMAKE_BINARY_DIR}/test-registration.txt)
  set_tests_properties(harness.registration PROPERTIES LABELS static)
endfunction()
