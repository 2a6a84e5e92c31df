# The 64-bit clients: the client library, qelctl and the 64-bit test client.
set(QEL_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_cross.cmake)
