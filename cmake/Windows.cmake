# What the Windows cross build (cmake/mingw-w64.cmake, scripts/windows) needs
# beyond the toolchain: the header-only libraries of the host, googletest built
# from Debian's sources for the target, and the tests run under Wine.

# windows.h without the old winsock.h (Winsock 2 is included where used) and
# without the min/max macros that break std::min.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# The version block and manifest of every .exe: k40_windows_resources().
include(${CMAKE_CURRENT_LIST_DIR}/WindowsResources.cmake)

# CLI11, nlohmann-json and Boost's Beast and Asio are header-only, but their CMake packages put
# -isystem /usr/include on the compile, where the cross compiler then finds
# glibc's headers instead of its own. A build-local folder with links to the
# libraries' folders only stands in for /usr/include.
set(k40_host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${k40_host_headers})
foreach(dir CLI nlohmann boost)
  file(CREATE_LINK /usr/include/${dir} ${k40_host_headers}/${dir} SYMBOLIC)
endforeach()
add_library(k40_host_headers INTERFACE)
target_include_directories(k40_host_headers SYSTEM INTERFACE ${k40_host_headers})
add_library(CLI11::CLI11 ALIAS k40_host_headers)
add_library(nlohmann_json::nlohmann_json ALIAS k40_host_headers)
add_library(Boost::headers ALIAS k40_host_headers)

# Wine runs the tests, and test discovery too: at test time (PRE_TEST), not
# while building. One prefix for the build, made by the first program run
# (cmake/wine-run makes it under a lock) and by the wine_prefix fixture.
set(K40_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine/prefix)
# The window tests' own prefix and the state of their Xvfb (tests/windows/).
set(K40_WINE_WINDOW_PREFIX ${CMAKE_BINARY_DIR}/wine/window-prefix)
set(K40_WINE_WINDOW_STATE ${CMAKE_BINARY_DIR}/wine/window)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run ${K40_WINE_PREFIX})
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

if(K40_TESTS)
  # Debian's googletest sources, built for the target like our own code.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(t gtest gtest_main)
    if(NOT TARGET GTest::${t})
      add_library(GTest::${t} ALIAS ${t})
    endif()
    # The framework is not what is tested: built quickly, not optimised
    # (an optimised gtest-all is the slowest file of the whole build).
    target_compile_options(${t} PRIVATE -O0)
  endforeach()
endif()
