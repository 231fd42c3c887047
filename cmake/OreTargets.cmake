# One small helper per kind of target.

function(ore_apply_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                           -Wnon-virtual-dtor -Wconversion -Wno-sign-conversion)
  if(ORE_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# ore_shared_library(NAME SOURCES ... LINKS ...)
function(ore_shared_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;PUBLIC_LINKS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LINKS} PRIVATE ${ARG_LINKS})
  ore_apply_warnings(${name})
endfunction()

# ore_static_library(NAME SOURCES ... LINKS ...)
function(ore_static_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;PUBLIC_LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LINKS} PRIVATE ${ARG_LINKS})
  ore_apply_warnings(${name})
endfunction()

# ore_program(NAME SOURCES ... LINKS ...)
function(ore_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS})
  ore_apply_warnings(${name})
endfunction()

# ore_test(NAME SOURCES ... LINKS ... [LABELS ...] [RESOURCE_LOCK NAME]) : a GoogleTest
# program registered with ctest; tests sharing a RESOURCE_LOCK never run at once.
function(ore_test name)
  cmake_parse_arguments(ARG "" "RESOURCE_LOCK" "SOURCES;LINKS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gmock GTest::gtest_main)
  ore_apply_warnings(${name})
  include(GoogleTest)
  # Escaped so that every label of the list reaches each discovered test.
  string(REPLACE ";" "\\;" labels "${ARG_LABELS}")
  set(lock)
  if(ARG_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 NO_PRETTY_VALUES
    PROPERTIES LABELS "${labels}" ${lock})
endfunction()
