# The search screens against the local service: a keystroke to the suggestion table drawn, and a
# page of own results loaded and drawn, beside the bare requests and parses (the floors).
add_executable(search_bench ${CMAKE_CURRENT_SOURCE_DIR}/search_bench.cpp)
target_compile_options(search_bench PRIVATE ${ZVT_WARNINGS})
target_compile_definitions(search_bench PRIVATE ZVT_BUNDLE_ROOT="${ZVT_BUNDLE_DIR}")
target_link_libraries(search_bench PRIVATE zvt_app_screens_shopping zvt_testsupport benchmark::benchmark)
add_dependencies(search_bench zvt_bundle_images zavelto-service)
