# Description texts and raw resources copied into host memory.
target_sources(vornix_objs PRIVATE ${CMAKE_CURRENT_LIST_DIR}/descriptions.cpp)
