# The mosaic effect: hooks, tile grid and tile-colour row.
target_sources(vornix_objs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/mosaic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mosaic_tiles.cpp)
