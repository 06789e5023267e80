# Views: hit-testing a tap and a full layout pass over trees of 400 and 2,000 views, beside a
# plain recursive walk over the same tree (the floor).
add_executable(uikit_view_bench ${CMAKE_CURRENT_SOURCE_DIR}/uikit_view_bench.cpp)
target_compile_options(uikit_view_bench PRIVATE ${ZVT_WARNINGS})
target_link_libraries(uikit_view_bench PRIVATE zvt_platform_uikit benchmark::benchmark)
# Scrolling a 10,000-row table with the device, step by step, beside a scroll view of fixed row
# views (the floor); the layout engine's list screen built of views and constraints.
foreach(name uikit_table_bench uikit_constraints_bench)
  add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
  target_compile_options(${name} PRIVATE ${ZVT_WARNINGS})
  target_link_libraries(${name} PRIVATE zvt_platform_uikit benchmark::benchmark)
endforeach()
