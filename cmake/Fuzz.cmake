# quorvane_fuzz_target(NAME <name> SOURCES <files...> LIBS <libs...> CORPUS <dir> [RUNS <n>])
# A fuzz target defines LLVMFuzzerTestOneInput. With clang it is built as a real libFuzzer
# binary; with other compilers it links tests/helpers/fuzz_driver.cpp, which replays the
# corpus and then runs a fixed number of seeded random mutations of it. Either way a bounded
# run is registered as a test.
function(quorvane_fuzz_target)
  cmake_parse_arguments(F "" "NAME;CORPUS;RUNS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_RUNS)
    set(F_RUNS 2000)
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS 60)
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    # libFuzzer writes the inputs it finds into its first corpus folder: give it a scratch
    # folder in the build tree, so the seed corpus is only ever read.
    set(scratch "${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}_found")
    file(MAKE_DIRECTORY "${scratch}")
    add_test(NAME ${F_NAME}
             COMMAND ${F_NAME} -runs=${F_RUNS} -max_total_time=${F_SECONDS} -rss_limit_mb=4096 ${scratch} ${F_CORPUS})
  else()
    target_sources(${F_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/helpers/fuzz_driver.cpp)
    add_test(NAME ${F_NAME} COMMAND ${F_NAME} ${F_RUNS} ${F_SECONDS} ${F_CORPUS})
  endif()
  set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()
