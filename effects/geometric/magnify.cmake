# The magnify effect: step animation, scale clipping, quadrant walks, loops,
# script functions.
target_sources(vornix_objs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/magnify.cpp
  ${CMAKE_CURRENT_LIST_DIR}/magnify_geometry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/magnify_loops.cpp)
