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
