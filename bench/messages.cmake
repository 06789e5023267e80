# The site messages' list: a reload and a scroll step of 1,000 messages of mixed title lengths
# whose rows take their height from the sizing cell, beside the same list at fixed heights.
if(TARGET zvt_app_screens_rewards)
  add_executable(messages_bench ${CMAKE_CURRENT_SOURCE_DIR}/messages_bench.cpp)
  target_compile_options(messages_bench PRIVATE ${ZVT_WARNINGS})
  target_link_libraries(messages_bench PRIVATE zvt_app_screens_rewards zvt_testsupport benchmark::benchmark)
  add_dependencies(messages_bench zvt_bundle_images)
  target_compile_definitions(messages_bench PRIVATE ZVT_BUNDLE_ROOT="${ZVT_BUNDLE_DIR}")
endif()
