# Test programs of the Windows build, for the end-to-end tests under Wine:
# the simulated ftd2xx.dll (in a folder of its own: it is never shipped beside
# the programs) and the UI driver.
set(VARNOK_WIN_STATIC_FLAGS -static -static-libgcc -static-libstdc++)

add_library(ftd2xx_sim SHARED ${CMAKE_SOURCE_DIR}/sim/ftd2xx_dll.cpp
                              ${CMAKE_SOURCE_DIR}/sim/ftd2xx.def)
target_link_libraries(ftd2xx_sim PRIVATE varnok_sim)
set_target_properties(ftd2xx_sim PROPERTIES
  OUTPUT_NAME ftd2xx
  PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testdll
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testdll
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testdll/lib)
if(NOT MSVC)
  target_link_options(ftd2xx_sim PRIVATE ${VARNOK_WIN_STATIC_FLAGS})
endif()

# A stray ftd2xx.dll for beside the programs: the same library, but it
# leaves a marker file when loaded. The programs must never load it.
add_library(ftd2xx_planted SHARED ${CMAKE_SOURCE_DIR}/sim/ftd2xx_dll.cpp
                                  ${CMAKE_SOURCE_DIR}/sim/ftd2xx.def)
target_compile_definitions(ftd2xx_planted PRIVATE VARNOK_PLANTED_COPY)
target_link_libraries(ftd2xx_planted PRIVATE varnok_sim)
set_target_properties(ftd2xx_planted PROPERTIES
  OUTPUT_NAME ftd2xx
  PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testdll-planted
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testdll-planted
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testdll-planted/lib)
if(NOT MSVC)
  target_link_options(ftd2xx_planted PRIVATE ${VARNOK_WIN_STATIC_FLAGS})
endif()

file(GLOB UIDRIVER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/uidriver/*.cpp)
add_executable(uidriver ${UIDRIVER_SOURCES})
target_compile_definitions(uidriver PRIVATE UNICODE _UNICODE)
target_link_libraries(uidriver PRIVATE user32)
set_target_properties(uidriver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/e2e)
if(NOT MSVC)
  target_link_options(uidriver PRIVATE ${VARNOK_WIN_STATIC_FLAGS})
endif()

# Calls the ten functions of an ftd2xx.dll through the programs' loader:
# checks the test DLL under Wine.
add_executable(d2xxprobe ${CMAKE_SOURCE_DIR}/tests/e2e/d2xxprobe/D2xxProbe.cpp)
target_link_libraries(d2xxprobe PRIVATE varnok_win32)
set_target_properties(d2xxprobe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/e2e)
if(NOT MSVC)
  target_link_options(d2xxprobe PRIVATE ${VARNOK_WIN_STATIC_FLAGS})
endif()

# The unit tests as a Windows program, run under Wine by tools/test.sh: the
# portable code is then tested at the widths it ships with (long is 32 bits).
# GoogleTest is built from Debian's source package (googletest).
set(VARNOK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(EXISTS ${VARNOK_GTEST_SOURCE}/CMakeLists.txt AND NOT MSVC)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VARNOK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # tests/unit/win32: tests of the Win32 layer itself, in this build only.
  file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp
       ${CMAKE_SOURCE_DIR}/tests/unit/win32/*.cpp)
  add_executable(unit_tests ${UNIT_TEST_SOURCES})
  # varnok_win32: the Windows side of the portable helpers (file names).
  target_link_libraries(unit_tests PRIVATE varnok_configurator varnok_modetool_dialog varnok_sim
                        varnok_cli varnok_win32 gtest gmock gtest_main)
  target_link_options(unit_tests PRIVATE ${VARNOK_WIN_STATIC_FLAGS})
  set_target_properties(unit_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(unit_tests PRIVATE "VARNOK_TEST_VERSION=\"${PROJECT_VERSION}\"")
endif()
