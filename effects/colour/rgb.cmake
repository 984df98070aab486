# The RGB shift effect.
target_sources(vornix_objs PRIVATE ${CMAKE_CURRENT_LIST_DIR}/rgb.cpp)
