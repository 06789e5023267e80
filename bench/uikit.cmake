# Views: hit-testing a tap and a full layout pass over trees of 400 and 2,000 views, beside a
# plain recursive walk over the same tree (the floor).
add_executable(uikit_view_bench ${CMAKE_CURRENT_SOURCE_DIR}/uikit_view_bench.cpp)
target_compile_options(uikit_view_bench PRIVATE ${ZVT_WARNINGS})
target_link_libraries(uikit_view_bench PRIVATE zvt_platform_uikit benchmark::benchmark)
