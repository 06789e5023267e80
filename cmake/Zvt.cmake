# Shared build rules of the project's own targets.

set(ZVT_WARNINGS -Wall -Wextra)
# Warnings stop the build only where asked (CI: scripts/test.sh): other compilers and flag sets
# warn differently, and a person's build should not fail on a warning nobody has seen yet.
if(ZVT_WERROR)
  list(APPEND ZVT_WARNINGS -Werror)
endif()
# GCC 12's optimiser reports -Wrestrict and -Wfree-nonheap-object inside the standard library's
# own string and shared_ptr code (false positives fixed in GCC 13); they would fail Release builds.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND ZVT_WARNINGS -Wno-restrict -Wno-free-nonheap-object)
endif()

set(ZVT_SAN_FLAGS "")
if(ZVT_SANITIZE STREQUAL "address")
  set(ZVT_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(ZVT_SANITIZE STREQUAL "thread")
  set(ZVT_SAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT ZVT_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ZVT_SANITIZE must be empty, address or thread")
endif()
if(ZVT_SAN_FLAGS)
  add_compile_options(${ZVT_SAN_FLAGS})
  add_link_options(${ZVT_SAN_FLAGS})
endif()
if(ZVT_SANITIZE STREQUAL "address")
  add_link_options(-Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/sanitizer-exports.map)
endif()

# The sanitizer test builds link the project's own libraries as shared objects: a static link
# copies every instrumented library into each of the seventy test programs (about 12 GB in one
# build tree), where shared objects hold them once. Ordinary builds stay static.
option(ZVT_SHARED_LIBS "Build the project's own libraries as shared objects" OFF)
if(ZVT_SHARED_LIBS)
  set(ZVT_LIBRARY_KIND SHARED)
else()
  set(ZVT_LIBRARY_KIND STATIC)
endif()

# zvt_library(<target> [DEPS <targets/libs>...] [PRIVATE_DEPS ...])
# One library per folder; every .cpp of the folder (and its sub-folders) belongs to it.
# Includes are written from the repository root: #include "platform/foundation/NSString.h".
# CYCLE_DEPS: libraries that also depend on this one. Static libraries link them like DEPS;
# a shared object, which may leave symbols for the program's link to resolve, hands them on to
# its users only, since CMake refuses cycles among shared objects.
function(zvt_library target)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS;CYCLE_DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(NOT srcs)
    # A folder whose sources have not landed yet: headers only.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPS} ${ARG_CYCLE_DEPS})
    return()
  endif()
  add_library(${target} ${ZVT_LIBRARY_KIND} ${srcs})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(${target} PRIVATE ${ZVT_WARNINGS})
  target_link_libraries(${target} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  if(ZVT_SHARED_LIBS)
    target_link_libraries(${target} INTERFACE ${ARG_CYCLE_DEPS})
  else()
    target_link_libraries(${target} PUBLIC ${ARG_CYCLE_DEPS})
  endif()
endfunction()

# Test executables that exercise threads are labelled "concurrency": the ThreadSanitizer
# build builds and runs only those (target zvt_concurrency_tests).
if(NOT TARGET zvt_concurrency_tests)
  add_custom_target(zvt_concurrency_tests)
endif()

# zvt_test(<name> [CONCURRENCY] [SOURCES ...] [DEPS ...])
# Without SOURCES, every .cpp in the current folder is a source of the test.
function(zvt_test name)
  cmake_parse_arguments(ARG "CONCURRENCY" "" "SOURCES;DEPS;LABELS" ${ARGN})
  if(ARG_SOURCES)
    set(srcs ${ARG_SOURCES})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_compile_options(${name} PRIVATE ${ZVT_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} zvt_testsupport GTest::gtest GTest::gmock)
  set(labels ${ARG_LABELS})
  if(ARG_CONCURRENCY)
    list(APPEND labels concurrency)
    add_dependencies(zvt_concurrency_tests ${name})
  endif()
  set(props TIMEOUT 300)
  if(labels)
    list(APPEND props LABELS "${labels}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ${props}
    DISCOVERY_TIMEOUT 60)
endfunction()
