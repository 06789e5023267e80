# The check-in screen built and first drawn offline with 0 and 1,000 stored days, beside the same
# number of plain views at the same frames (the floor).
add_executable(checkin_bench ${CMAKE_CURRENT_SOURCE_DIR}/checkin_bench.cpp)
target_compile_options(checkin_bench PRIVATE ${ZVT_WARNINGS})
target_compile_definitions(checkin_bench PRIVATE ZVT_BUNDLE_ROOT="${ZVT_BUNDLE_DIR}")
target_link_libraries(checkin_bench PRIVATE zvt_app_screens_rewards zvt_platform_uikit benchmark::benchmark)
add_dependencies(checkin_bench zvt_bundle_images)
