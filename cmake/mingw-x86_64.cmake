# The launcher's x86-64 twin (PE32+, AMD64): the same sources, for machines that
# run no 32-bit code and for 64-bit-only Windows.
set(DREL_TARGET_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
