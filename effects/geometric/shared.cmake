# Pieces the geometric effects share: the eased angle animation.
target_sources(vornix_objs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/angle_animation.cpp)
