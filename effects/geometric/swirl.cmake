# The swirl effect: its angle animation, mapping, renders, hit test and
# script functions.
target_sources(vornix_objs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/swirl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/swirl_loops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/swirl_mapping.cpp)
