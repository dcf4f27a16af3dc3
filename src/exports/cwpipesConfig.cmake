# find_package(cwpipes) gives the imported target cwpipes::cwpipes (header and library).
include("${CMAKE_CURRENT_LIST_DIR}/cwpipesTargets.cmake")
