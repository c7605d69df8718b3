# Helpers shared by the folder CMake files.

# veltrane_sources(VAR DIR...): the .cpp files of the given folders, picked up as they are added.
function(veltrane_sources var)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.c)
    list(APPEND result ${found})
  endforeach()
  set(${var} ${result} PARENT_SCOPE)
endfunction()

# veltrane_headers(TARGET PREFIX): the headers of the current folder, reachable as "PREFIX/Name.h"
# by TARGET and by the targets that link it, and by no other. Each target gets an include root of
# its own in the build tree holding one link, PREFIX, to its folder; so an include of a layer the
# target does not link fails to compile instead of working by accident.
function(veltrane_headers target prefix)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${prefix} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# veltrane_gtest(NAME DIR LIBS...): one GoogleTest executable from every source in tests/DIR.
function(veltrane_gtest name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    VELTRANE_SHARED_DIR="${VELTRANE_SHARED_DIR}"
    VELTRANE_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    VELTRANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${name})
endfunction()
