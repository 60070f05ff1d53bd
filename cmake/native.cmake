# The command-line front end, the unit tests and the benchmarks, built for the host.
find_package(GTest REQUIRED)
include(GoogleTest)

add_executable(tintwright cli/main.cpp)
target_link_libraries(tintwright PRIVATE tw_core)
target_compile_options(tintwright PRIVATE -Wall -Wextra)
target_compile_definitions(tintwright PRIVATE TW_VERSION="${PROJECT_VERSION}")

add_executable(tw_tests
  tests/native/bmp_layout_test.cpp
)
target_link_libraries(tw_tests PRIVATE tw_core GTest::gtest_main)
target_compile_options(tw_tests PRIVATE -Wall -Wextra)
gtest_discover_tests(tw_tests DISCOVERY_MODE PRE_TEST)
