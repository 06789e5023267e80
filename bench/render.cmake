# Rendering: a full screen of a typical layout and a one-cell change through the screen renderer,
# beside the same primitives drawn straight into Cairo by a hand-written loop (the floor).
add_executable(render_bench ${CMAKE_CURRENT_SOURCE_DIR}/render_bench.cpp)
target_compile_options(render_bench PRIVATE ${ZVT_WARNINGS})
target_link_libraries(render_bench PRIVATE zvt_platform_uikit PkgConfig::ZVT_CAIRO benchmark::benchmark)
# The live screen at the end of a run-loop turn with 500 and 2,000 layers: nothing changed, one
# layer changed, and the whole frame (what every turn cost when each walked the tree).
add_executable(render_idle_bench ${CMAKE_CURRENT_SOURCE_DIR}/render_idle_bench.cpp)
target_compile_options(render_idle_bench PRIVATE ${ZVT_WARNINGS})
target_link_libraries(render_idle_bench PRIVATE zvt_platform_uikit benchmark::benchmark)
