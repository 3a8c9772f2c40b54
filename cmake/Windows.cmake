# Windows build (mingw-w64 cross compiler or MSVC): the two programs, the test
# ftd2xx.dll and the UI driver of the end-to-end tests.
message(STATUS "Windows programs are added in cmake/Windows.cmake")
