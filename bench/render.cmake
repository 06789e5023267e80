# Rendering: a full screen of a typical layout and a one-cell change through the screen renderer,
# beside the same primitives drawn straight into Cairo by a hand-written loop (the floor).
add_executable(render_bench ${CMAKE_CURRENT_SOURCE_DIR}/render_bench.cpp)
target_compile_options(render_bench PRIVATE ${ZVT_WARNINGS})
target_link_libraries(render_bench PRIVATE zvt_platform_uikit PkgConfig::ZVT_CAIRO benchmark::benchmark)
