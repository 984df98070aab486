# The colour pass shared by RGB, HSB, line skip and snow.
target_sources(vornix_objs PRIVATE ${CMAKE_CURRENT_LIST_DIR}/colour_pass.cpp)
