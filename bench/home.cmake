# The home grid: a scroll step through 240 products whose cells load their pictures from the
# loopback service, beside the same grid whose products name no picture.
if(TARGET zvt_app_screens_shopping AND TARGET zavelto-service)
  add_executable(home_bench ${CMAKE_CURRENT_SOURCE_DIR}/home_bench.cpp)
  target_compile_options(home_bench PRIVATE ${ZVT_WARNINGS})
  target_link_libraries(home_bench PRIVATE zvt_app_screens_shopping zvt_testsupport benchmark::benchmark)
  add_dependencies(home_bench zavelto-service zvt_bundle_images)
  target_compile_definitions(home_bench PRIVATE ZVT_BUNDLE_ROOT="${ZVT_BUNDLE_DIR}")
endif()
# A returning person's cold start to the drawn home screen in the launched application against
# the local service, beside the same requests and pictures made by the clients alone (the floor).
if(TARGET zvt_app_screens_shopping AND TARGET zavelto-service)
  add_executable(home_start_bench ${CMAKE_CURRENT_SOURCE_DIR}/home_start_bench.cpp)
  target_compile_options(home_start_bench PRIVATE ${ZVT_WARNINGS})
  target_link_libraries(home_start_bench PRIVATE zvt_app_screens_shopping zvt_ui_navigation zvt_testsupport benchmark::benchmark)
  add_dependencies(home_start_bench zavelto-service zvt_bundle_images)
  target_compile_definitions(home_start_bench PRIVATE ZVT_BUNDLE_ROOT="${ZVT_BUNDLE_DIR}"
                             ZVT_SERVICE_BIN="$<TARGET_FILE:zavelto-service>")
endif()
