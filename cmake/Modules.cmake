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

# veltrane_fuzz_targets(LIBS...): every NAME.cpp of the current folder defines LLVMFuzzerTestOneInput.
# With VELTRANE_FUZZ (clang only) each becomes a libFuzzer program fuzz_NAME; otherwise each becomes
# replay_NAME, which the test run uses to check the saved inputs of the folder's regressions/NAME/.
# Each links LIBS; the folder and fuzz/ are its include roots (fuzz/common holds the input reader).
function(veltrane_fuzz_targets)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(source IN LISTS sources)
    get_filename_component(name ${source} NAME_WE)
    if(VELTRANE_FUZZ)
      set(program fuzz_${name})
      add_executable(${program} ${source})
      target_link_options(${program} PRIVATE -fsanitize=fuzzer)
    elseif(VELTRANE_TESTS)
      set(program replay_${name})
      add_executable(${program} ${source} ${CMAKE_SOURCE_DIR}/fuzz/replay/ReplayMain.cpp)
      add_test(NAME fuzz_regressions_${name} COMMAND ${program} ${CMAKE_CURRENT_SOURCE_DIR}/regressions/${name})
      set_tests_properties(fuzz_regressions_${name} PROPERTIES LABELS fuzz_regressions)
    else()
      continue()
    endif()
    target_link_libraries(${program} PRIVATE ${ARGN})
    target_include_directories(${program} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/fuzz)
  endforeach()
endfunction()

# veltrane_check_folders(): the current folder's tests/ (with VELTRANE_TESTS), fuzz/ and bench/
# (with VELTRANE_BENCH): the project's own at the top, the library's white-box ones in package/.
function(veltrane_check_folders)
  if(VELTRANE_TESTS)
    add_subdirectory(tests)
  endif()
  add_subdirectory(fuzz)
  if(VELTRANE_BENCH)
    add_subdirectory(bench)
  endif()
endfunction()
