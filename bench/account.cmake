# The demo user's login from the tap on "登 录" to the personal centre drawn, in the launched
# application against the local service, beside the same two signed calls and the avatar's
# download made by the clients alone (the floor).
if(TARGET zavelto-service)
  add_executable(account_bench ${CMAKE_CURRENT_SOURCE_DIR}/account_bench.cpp)
  target_compile_options(account_bench PRIVATE ${ZVT_WARNINGS})
  target_compile_definitions(account_bench PRIVATE ZVT_BUNDLE_ROOT="${ZVT_BUNDLE_DIR}"
                             ZVT_SERVICE_BIN="$<TARGET_FILE:zavelto-service>")
  target_link_libraries(account_bench PRIVATE zvt_app_screens_account zvt_ui_navigation zvt_platform_uikit benchmark::benchmark)
  add_dependencies(account_bench zvt_bundle_images zavelto-service)
endif()
