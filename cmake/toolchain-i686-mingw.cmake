# The service, the simulated library, the tests and the 32-bit clients.
set(QEL_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_cross.cmake)
