# Windows build (mingw-w64 cross compiler or MSVC): the two programs, the test
# ftd2xx.dll and the UI driver of the end-to-end tests.

# The Win32 implementations of the seams and the generic dialog host.
file(GLOB WIN32_SEAM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/common/win32/*.cpp)
add_library(varnok_win32 STATIC ${WIN32_SEAM_SOURCES})
target_link_libraries(varnok_win32 PUBLIC varnok_platform user32 gdi32 comctl32 comdlg32
                      shell32 advapi32)
target_compile_definitions(varnok_win32 PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)

# The resource scripts take the version from a generated header.
set(VARNOK_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/Version.h.in ${VARNOK_GENERATED_DIR}/Version.h @ONLY)

function(varnok_windows_program name)
  cmake_parse_arguments(P "" "RC" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} WIN32 ${P_SOURCES} ${CMAKE_SOURCE_DIR}/resources/${P_RC})
  target_include_directories(${name} PRIVATE ${VARNOK_GENERATED_DIR} ${CMAKE_SOURCE_DIR}/resources)
  target_link_libraries(${name} PRIVATE ${P_LIBS} varnok_win32)
  if(MINGW)
    target_link_options(${name} PRIVATE -mwindows -static -static-libgcc -static-libstdc++)
  endif()
  # Resources depend on the artwork and manifests beside the scripts.
  file(GLOB art CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.bmp
       ${CMAKE_SOURCE_DIR}/resources/*.ico ${CMAKE_SOURCE_DIR}/resources/*.manifest)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/${P_RC} PROPERTIES
                              OBJECT_DEPENDS "${art};${VARNOK_GENERATED_DIR}/Version.h")
endfunction()

file(GLOB CONFIGURATOR_WIN32_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/configurator/*/win32/*.cpp)
varnok_windows_program(VarnokPlus_Configurator
  SOURCES ${CONFIGURATOR_WIN32_SOURCES}
  RC configurator.rc
  LIBS varnok_configurator)

file(GLOB MODETOOL_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/modetool/win32/*.cpp)
varnok_windows_program(VarnokCfg
  SOURCES ${MODETOOL_WIN32_SOURCES}
  RC modetool.rc
  LIBS varnok_modetool_dialog)

# varnokctl.exe: a console program on the same behaviour libraries.
file(GLOB CLI_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cli/win32/*.cpp)
add_executable(varnokctl ${CLI_WIN32_SOURCES} ${CMAKE_SOURCE_DIR}/resources/varnokctl.rc)
target_include_directories(varnokctl PRIVATE ${VARNOK_GENERATED_DIR} ${CMAKE_SOURCE_DIR}/resources)
target_link_libraries(varnokctl PRIVATE varnok_cli varnok_win32)
if(MINGW)
  target_link_options(varnokctl PRIVATE -static -static-libgcc -static-libstdc++)
endif()
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/varnokctl.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/resources/varnokctl.manifest;${VARNOK_GENERATED_DIR}/Version.h")

include(${CMAKE_SOURCE_DIR}/cmake/WindowsTests.cmake OPTIONAL)
