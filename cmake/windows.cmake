# The desktop program and its tests, cross-compiled with mingw-w64 and run under Wine.
enable_language(RC)

configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
  @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

# GoogleTest from Debian's source package, built with the cross compiler.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Source files are UTF-8; the program's texts are code page 932 bytes.
set(TW_WIN_OPTIONS ${TW_WARNINGS} -finput-charset=UTF-8 -fexec-charset=CP932)
set(TW_WIN_LINK -static -static-libgcc -static-libstdc++)
# The core's messages are the program's texts too.
target_compile_options(tw_core PRIVATE -finput-charset=UTF-8 -fexec-charset=CP932)
# On 32-bit x86, SSE2 for the high-quality dithering's vectors, which without it are done a
# lane at a time (three times slower under Wine, measured); the core has no floating point, so
# the bytes are the same either way. Windows starts threads on stacks aligned to 4 bytes only,
# and the dithering keeps SSE vectors on the stack: functions align their own frames.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(tw_core PRIVATE -msse2 -mstackrealign)
endif()

add_library(tw_app STATIC
  win/app/app.cpp
  win/app/options_dialog.cpp
  win/app/seams.cpp
  win/app/settings.cpp
  win/app/shell.cpp
  win/document/clipboard.cpp
  win/document/animation_codec.cpp
  win/document/codecs.cpp
  win/document/document.cpp
  win/document/file_commands.cpp
  win/document/file_io.cpp
  win/document/frames.cpp
  win/document/main_window.cpp
  win/document/status_bar.cpp
  win/document/transparency.cpp
  win/document/view.cpp
  win/palette/palette_dialog.cpp
  win/palette/palette_grid.cpp
  win/palette/user_palette.cpp
  win/reduce/conversion_run.cpp
  win/reduce/conversion_window.cpp
  win/reduce/diffusion_command.cpp
  win/reduce/compact_command.cpp
  win/reduce/exact_command.cpp
  win/reduce/quality_dialog.cpp
  win/reduce/tile_command.cpp
  win/reduce/tile_dialog.cpp
)
target_compile_options(tw_app PRIVATE ${TW_WIN_OPTIONS})
target_include_directories(tw_app PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_compile_definitions(tw_app PUBLIC WINVER=0x0601 _WIN32_WINNT=0x0601)
target_link_libraries(tw_app PUBLIC tw_core gdi32 comctl32 comdlg32 shell32 advapi32 user32 windowscodecs
  ole32 uuid msimg32)

set(TW_RESOURCES ${PROJECT_SOURCE_DIR}/win/res/tintwright.rc)
set_source_files_properties(${TW_RESOURCES} PROPERTIES
  OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/win/res/resource.h;${PROJECT_SOURCE_DIR}/win/res/tintwright.ico;${PROJECT_SOURCE_DIR}/win/res/tintwright.cur;${PROJECT_SOURCE_DIR}/win/res/basic_palette.bin;${PROJECT_SOURCE_DIR}/win/res/tintwright.manifest")

# A Windows executable of this project: the resources, the options and static linking.
function(tw_windows_executable name)
  add_executable(${name} ${ARGN} ${TW_RESOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/win/res
    ${CMAKE_BINARY_DIR}/generated)
  target_compile_options(${name} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TW_WIN_OPTIONS}>)
  target_link_libraries(${name} PRIVATE tw_app)
  target_link_options(${name} PRIVATE ${TW_WIN_LINK})
endfunction()

tw_windows_executable(Tintwright WIN32 win/app/winmain.cpp)

# One test program for everything that needs Windows: each Wine start costs a second or two.
tw_windows_executable(tw_wintests
  tests/win/main.cpp
  tests/win/test_support.cpp
  tests/win/startup_test.cpp
  tests/win/main_window_test.cpp
  tests/win/file_commands_test.cpp
  tests/win/exact_command_test.cpp
  tests/win/palette_test.cpp
  tests/win/settings_test.cpp
  tests/win/diffusion_command_test.cpp
  tests/win/tile_command_test.cpp
  tests/win/corpus_test.cpp
  tests/win/image_test.cpp
  tests/win/animation_test.cpp
  tests/portable/same_bytes_test.cpp
)
target_link_libraries(tw_wintests PRIVATE gtest)
# The BMP test suite, seen from Wine through its Z: drive.
target_compile_definitions(tw_wintests PRIVATE TW_CORPUS_DIR="Z:${TW_CORPUS_DIR}"
  TW_PNG_CORPUS_DIR="Z:${TW_PNG_CORPUS_DIR}" TW_SOURCE_DIR="Z:${PROJECT_SOURCE_DIR}")
add_test(NAME windows_tests COMMAND tw_wintests)
# A failed case or a crash fails the run even if the exit code were lost on the way out of Wine.
set_tests_properties(windows_tests PROPERTIES TIMEOUT 600 RUN_SERIAL ON
  FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]|wine: Unhandled")

# Opens the program on a sample image and drops it in, for screenshots of the real window.
tw_windows_executable(tw_showcase WIN32 tools/showcase/showcase.cpp)
