# The rotate effect: angle unit and tables, geometry, pixel loops, renders,
# script functions.
target_sources(vornix_objs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/rotate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rotate_angles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rotate_geometry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rotate_loops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rotate_render.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rotate_script.cpp)
