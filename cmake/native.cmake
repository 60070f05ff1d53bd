# The command-line front end, the unit tests and the benchmarks, built for the host.
if(TW_FUZZ)
  # fuzz: libFuzzer targets for the code that reads file bytes (clang, with the sanitizers).
  # Every sanitizer report stops the run: undefined behaviour is a finding like a crash.
  set(TW_FUZZ_SANITIZE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  target_compile_options(tw_core PRIVATE -fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=all)
  foreach(name bmp_layout exact diffusion palette)
    add_executable(${name}_fuzz fuzz/${name}_fuzz.cpp tests/support/literal_layout.cpp)
    target_link_libraries(${name}_fuzz PRIVATE tw_core)
    target_compile_options(${name}_fuzz PRIVATE ${TW_FUZZ_SANITIZE})
    target_link_options(${name}_fuzz PRIVATE ${TW_FUZZ_SANITIZE})
  endforeach()
  # The command-line tool's PNG and JPEG reading, with Debian's libpng and libjpeg.
  find_package(PNG REQUIRED)
  find_package(JPEG REQUIRED)
  find_package(ZLIB REQUIRED)
  add_executable(image_fuzz fuzz/image_fuzz.cpp cli/deflate.cpp cli/image_io.cpp cli/file_io.cpp
    cli/messages.cpp cli/temporaries.cpp)
  target_link_libraries(image_fuzz PRIVATE tw_core PNG::PNG JPEG::JPEG ZLIB::ZLIB)
  target_compile_options(image_fuzz PRIVATE ${TW_FUZZ_SANITIZE})
  target_link_options(image_fuzz PRIVATE ${TW_FUZZ_SANITIZE})
  # The command-line tool's GIF reading, with Debian's giflib.
  find_package(GIF REQUIRED)
  add_executable(gif_fuzz fuzz/gif_fuzz.cpp cli/gif_io.cpp cli/file_io.cpp cli/messages.cpp
    cli/temporaries.cpp)
  target_link_libraries(gif_fuzz PRIVATE tw_core GIF::GIF)
  target_compile_options(gif_fuzz PRIVATE ${TW_FUZZ_SANITIZE})
  target_link_options(gif_fuzz PRIVATE ${TW_FUZZ_SANITIZE})
  return()
endif()

find_package(GTest REQUIRED)
include(GoogleTest)

find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(ZLIB REQUIRED)
find_package(GIF REQUIRED)
add_library(tw_cli STATIC
  cli/batch.cpp cli/deflate.cpp cli/file_io.cpp cli/frames.cpp cli/gif_io.cpp cli/image_io.cpp
  cli/memory.cpp cli/messages.cpp cli/options.cpp cli/temporaries.cpp)
target_link_libraries(tw_cli PUBLIC tw_core PNG::PNG JPEG::JPEG ZLIB::ZLIB GIF::GIF)
target_compile_options(tw_cli PRIVATE ${TW_WARNINGS})

add_executable(tintwright cli/main.cpp)
target_link_libraries(tintwright PRIVATE tw_cli)
target_compile_options(tintwright PRIVATE ${TW_WARNINGS})
target_include_directories(tintwright PRIVATE ${CMAKE_BINARY_DIR}/generated)

add_executable(tw_tests
  tests/native/bmp_layout_test.cpp
  tests/native/exact_reduction_test.cpp
  tests/support/literal_exact.cpp
  tests/native/cli_test.cpp
  tests/native/error_diffusion_test.cpp
  tests/native/nearest_colour_test.cpp
  tests/support/literal_diffusion.cpp
  tests/native/palette_file_test.cpp
  tests/native/number_field_test.cpp
  tests/native/corpus_test.cpp
  tests/native/safe_write_test.cpp
  tests/native/memory_test.cpp
  tests/native/layouts_test.cpp
  tests/native/adaptive_test.cpp
  tests/native/device_colours_test.cpp
  tests/native/palette_indices_test.cpp
  tests/native/tiles_test.cpp
  tests/native/dither_engine_test.cpp
  tests/support/literal_kernel.cpp
  tests/support/literal_refine.cpp
  tests/native/patterns_test.cpp
  tests/support/literal_pattern.cpp
  tests/native/image_test.cpp
  tests/native/frames_test.cpp
  tests/native/alpha_test.cpp
  tests/portable/same_bytes_test.cpp
  tests/support/literal_layout.cpp
)
target_link_libraries(tw_tests PRIVATE tw_cli GTest::gtest_main)
target_compile_options(tw_tests PRIVATE ${TW_WARNINGS})
target_include_directories(tw_tests PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_compile_definitions(tw_tests PRIVATE TW_CLI_PATH="$<TARGET_FILE:tintwright>"
  TW_CORPUS_DIR="${TW_CORPUS_DIR}" TW_PNG_CORPUS_DIR="${TW_PNG_CORPUS_DIR}"
  TW_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(tw_tests tintwright)
gtest_discover_tests(tw_tests DISCOVERY_MODE PRE_TEST)

if(TW_SANITIZE)
  # native-asan: the core and its tests under AddressSanitizer and UndefinedBehaviorSanitizer.
  foreach(target tw_core tw_cli tintwright tw_tests)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endforeach()
  return()
endif()

# Benchmarks (not run by the tests): build/native/tw_bench.
find_package(benchmark REQUIRED)
add_executable(tw_bench bench/main.cpp bench/exact_bench.cpp bench/diffusion_bench.cpp
  tests/support/literal_exact.cpp tests/support/literal_diffusion.cpp)
target_link_libraries(tw_bench PRIVATE tw_core benchmark::benchmark)
target_compile_options(tw_bench PRIVATE ${TW_WARNINGS})

# The layers of the source tree: core/ portable, includes downward only, no cycles.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME layering COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/layering.py
  ${PROJECT_SOURCE_DIR})
# The manual says what the code holds: every message of the program, the CLI's --help in full.
add_test(NAME docs_check COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/check_docs.py
  ${PROJECT_SOURCE_DIR} $<TARGET_FILE:tintwright>)
