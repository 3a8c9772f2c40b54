# Sourced by the scripts that configure a Windows build folder. A folder first
# configured with mingw's win32 thread model keeps those compilers in its
# cache whatever the toolchain file now names; such a folder is started afresh
# (the posix model is needed for std::thread and GoogleTest).
forget_stale_windows_build() {  # build-dir
    local cache=$1/CMakeCache.txt
    if [[ -f $cache ]] && ! grep -q '^CMAKE_CXX_COMPILER_AR:FILEPATH=.*-posix$' "$cache"; then
        echo "$1 was configured with other compilers: starting it afresh"
        rm -rf "$1"
    fi
}
