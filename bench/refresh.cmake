# Pull-to-refresh: a scroll step of a 1,000-row table with a header and a footer attached,
# beside the same table without them.
add_executable(refresh_bench ${CMAKE_CURRENT_SOURCE_DIR}/refresh_bench.cpp)
target_compile_options(refresh_bench PRIVATE ${ZVT_WARNINGS})
target_link_libraries(refresh_bench PRIVATE zvt_ui_refresh zvt_platform_uikit zvt_testsupport benchmark::benchmark)
