# The players' launcher: 32-bit Windows (PE32, i386).
set(DREL_TARGET_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
