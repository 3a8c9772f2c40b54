# Native (Linux) build: unit tests, fuzz targets, benchmarks, and the
# simulator programs the end-to-end tests run beside Wine.
enable_testing()
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # tests/unit/linux: the Linux host of varnokctl, in this build only.
  file(GLOB LINUX_UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/linux/*.cpp)
  list(APPEND UNIT_TEST_SOURCES ${LINUX_UNIT_TEST_SOURCES})
endif()
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_link_libraries(unit_tests PRIVATE varnok_configurator varnok_modetool_dialog varnok_sim
                      varnok_cli GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
target_compile_definitions(unit_tests PRIVATE "VARNOK_TEST_VERSION=\"${PROJECT_VERSION}\""
                           "VARNOK_SOURCE_DIR=\"${CMAKE_SOURCE_DIR}\"")
include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)

# A front end without the dialog seam: the model library and the simulators
# alone list the ports of an in-memory installation and change one setting.
add_executable(model_demo ${CMAKE_SOURCE_DIR}/tests/frontendless/main.cpp)
target_link_libraries(model_demo PRIVATE varnok_configurator_model varnok_sim)
target_compile_definitions(model_demo PRIVATE VARNOK_NO_DIALOG_SEAM)
add_test(NAME model_demo COMMAND model_demo)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # varnokctl for Linux, and its tests (label "linux", the linux step of
  # tools/test.sh): on a fake udev/sysfs tree, which needs umockdev-wrapper
  # and Debian's python3 with the UMockdev bindings (skipped, status 77,
  # without them), and of its Debian package.
  add_executable(varnokctl ${CMAKE_SOURCE_DIR}/cli/linux/VarnokctlMain.cpp)
  target_link_libraries(varnokctl PRIVATE varnok_cli)
  add_test(NAME varnokctl_umockdev
           COMMAND ${CMAKE_SOURCE_DIR}/tests/linux/run_umockdev.sh
                   $<TARGET_FILE:varnokctl> $<TARGET_FILE:adapter>)
  set_tests_properties(varnokctl_umockdev PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 LABELS linux)
  include(${CMAKE_SOURCE_DIR}/cmake/LinuxPackage.cmake)
  add_test(NAME varnokctl_deb
           COMMAND ${CMAKE_SOURCE_DIR}/tests/linux/test_deb.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(varnokctl_deb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 LABELS linux)
endif()

# Programs of the simulators that run natively (sim/*_main.cpp).
file(GLOB SIM_MAINS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/*_main.cpp)
foreach(src ${SIM_MAINS})
  get_filename_component(name ${src} NAME_WE)
  string(REGEX REPLACE "_main$" "" name ${name})
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE varnok_modetool varnok_sim)
endforeach()

# Fuzz targets: fuzz/*.cpp each define LLVMFuzzerTestOneInput. With clang and
# VARNOK_FUZZ they link libFuzzer (everything they call is instrumented by the
# options in CMakeLists.txt); otherwise they are built with a small driver
# that replays the seed corpus, so that every build keeps them compiling and
# ctest runs the seeds. Target fuzz_targets builds them all.
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
add_custom_target(fuzz_targets)
foreach(src ${FUZZ_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  if(VARNOK_FUZZ)
    add_executable(${name} ${src})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # The seeds once, without fuzzing.
    add_test(NAME ${name}_seeds COMMAND ${name} -runs=0 ${CMAKE_SOURCE_DIR}/fuzz/seeds/${name})
  else()
    add_executable(${name} ${src} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    add_test(NAME ${name}_seeds COMMAND ${name} ${CMAKE_SOURCE_DIR}/fuzz/seeds/${name})
  endif()
  target_link_libraries(${name} PRIVATE varnok_configurator varnok_modetool varnok_sim varnok_cli)
  add_dependencies(fuzz_targets ${name})
endforeach()
if(VARNOK_FUZZ)
  add_test(NAME fuzz_libraries_instrumented
           COMMAND ${CMAKE_SOURCE_DIR}/fuzz/check_instrumented.sh
                   $<TARGET_FILE:varnok_platform> $<TARGET_FILE:varnok_configurator_model>
                   $<TARGET_FILE:varnok_configurator>
                   $<TARGET_FILE:varnok_modetool> $<TARGET_FILE:varnok_sim>
                   $<TARGET_FILE:varnok_cli>)
endif()

find_package(benchmark QUIET)
if(benchmark_FOUND)
  file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    # bench/linux_*: the Linux host's seams on pseudo-terminals.
    list(FILTER BENCH_SOURCES EXCLUDE REGEX "/linux_[^/]*\\.cpp$")
  endif()
  foreach(src ${BENCH_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE varnok_configurator varnok_modetool varnok_sim varnok_cli
                          benchmark::benchmark Threads::Threads)
  endforeach()
endif()
