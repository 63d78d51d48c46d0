# The shipped build: 32-bit Windows programs; tests run under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MORVA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-test-run.sh wine)
