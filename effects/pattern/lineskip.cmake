# The line skip effect: property rules, band pattern, renders and hit test.
target_sources(vornix_objs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/lineskip.cpp)
