# The exchange store's list: a scroll step and a reload of 200 products whose cells download,
# encode and store their pictures from the loopback service, beside the same list whose cells
# start no picture task.
if(TARGET zvt_app_screens_rewards AND TARGET zavelto-service)
  add_executable(exchange_store_bench ${CMAKE_CURRENT_SOURCE_DIR}/exchange_store_bench.cpp)
  target_compile_options(exchange_store_bench PRIVATE ${ZVT_WARNINGS})
  target_link_libraries(exchange_store_bench PRIVATE zvt_app_screens_rewards zvt_testsupport benchmark::benchmark)
  add_dependencies(exchange_store_bench zavelto-service zvt_bundle_images)
  target_compile_definitions(exchange_store_bench PRIVATE ZVT_BUNDLE_ROOT="${ZVT_BUNDLE_DIR}")
endif()
