# The mall screen's pages: a swipe onto a category not loaded yet (signed requests, the grid
# reloaded, its logos from the loopback service) beside the same swipe onto a loaded one.
if(TARGET zvt_app_screens_shopping AND TARGET zavelto-service)
  add_executable(mall_bench ${CMAKE_CURRENT_SOURCE_DIR}/mall_bench.cpp)
  target_compile_options(mall_bench PRIVATE ${ZVT_WARNINGS})
  target_compile_definitions(mall_bench PRIVATE ZVT_BUNDLE_ROOT="${ZVT_BUNDLE_DIR}")
  target_link_libraries(mall_bench PRIVATE zvt_app_screens_shopping zvt_testsupport benchmark::benchmark)
  add_dependencies(mall_bench zvt_bundle_images zavelto-service)
endif()
