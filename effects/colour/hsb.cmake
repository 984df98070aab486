# The HSB shift effect.
target_sources(vornix_objs PRIVATE ${CMAKE_CURRENT_LIST_DIR}/hsb.cpp)
