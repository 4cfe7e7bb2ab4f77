# What the Windows build adds to its programs and tests: resources, wine, the release archive.

# The manifest names the program's processor, as the system checks it against the program's.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
    set(STEPWICK_MANIFEST_ARCH x86)
else()
    set(STEPWICK_MANIFEST_ARCH amd64)
endif()

# The icon, the version block and the manifest into a program. INTERNAL_NAME and FILE_NAME name the
# program itself (a renamed copy still says what it was): the windowed program is Stepwick,
# Stepwick.exe.
function(stepwick_windows_resources target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "INTERNAL_NAME;FILE_NAME;MANIFEST" "")
    set(STEPWICK_RC_ICON ${PROJECT_SOURCE_DIR}/resources/icons/stepwick.ico)
    set(STEPWICK_RC_INTERNAL_NAME ${arg_INTERNAL_NAME})
    set(STEPWICK_RC_FILE_NAME ${arg_FILE_NAME})
    set(STEPWICK_RC_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
    configure_file(${arg_MANIFEST} ${STEPWICK_RC_MANIFEST} @ONLY)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/resources/windows/program.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${STEPWICK_RC_ICON} ${STEPWICK_RC_MANIFEST})
endfunction()

# Wine keeps its prefix, and the home it insists on, in the build folder: nothing outside it is
# touched, root and a fresh clone work alike. No display: console programs need none, and wine is
# told not to offer Mono and Gecko.
set(STEPWICK_WINE_ENV
    WINEPREFIX=${PROJECT_BINARY_DIR}/wine/prefix
    HOME=${PROJECT_BINARY_DIR}/wine/home
    WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml=)
# The 32-bit edition runs on a 32-bit Windows, as the oldest systems it is for are.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
    list(APPEND STEPWICK_WINE_ENV WINEARCH=win32)
endif()
# Debian's `wine` starts the 32-bit loader whenever wine32 is installed, and that loader hands a
# 64-bit program on to the 64-bit one; a kernel that starts no 32-bit program refuses the first
# step. So each edition names its own loader, and the 32-bit one is also asked whether it can start.
# Without wine32 there is no 32-bit loader: the name left unfound fails to start, and the tests
# that need it are skipped.
find_program(STEPWICK_WINE32 NAMES wine PATHS /usr/lib/wine /usr/lib32/wine NO_DEFAULT_PATH)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
    set(STEPWICK_WINE_LOADER ${STEPWICK_WINE32})
else()
    find_program(STEPWICK_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
    if(NOT STEPWICK_WINE64)
        find_program(STEPWICK_WINE64 NAMES wine64 wine)
    endif()
    set(STEPWICK_WINE_LOADER ${STEPWICK_WINE64})
endif()
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/wine/home)
# ctest (or any command) beside one wine server: build-windows/wine-session ctest ...
list(JOIN STEPWICK_WINE_ENV "' '" STEPWICK_WINE_EXPORTS)
configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-session.sh.in ${PROJECT_BINARY_DIR}/wine-session
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
    @ONLY)
