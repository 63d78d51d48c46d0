# The same sources as 64-bit programs, for running the Windows tests under
# Wine on machines whose kernel runs no 32-bit Linux programs (Wine's 32-bit
# loader is one), where only 64-bit Windows programs can run.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MORVA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
find_program(MORVA_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT MORVA_WINE64)
  find_program(MORVA_WINE64 NAMES wine64 wine REQUIRED)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-test-run.sh ${MORVA_WINE64})
