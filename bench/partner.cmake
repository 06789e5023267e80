# The QQ web login from the button to the dismissed login stack, against a bare WebKitWebView on
# GLib's own loop loading the same pages plus one partner-login round trip; the local service on
# the loopback, a private X server when no display is set.
if(TARGET zvt_platform_webkit AND TARGET zvt_testsupport_ui AND TARGET zavelto-service)
  add_executable(partner_login_bench ${CMAKE_CURRENT_SOURCE_DIR}/partner_login_bench.cpp)
  target_compile_options(partner_login_bench PRIVATE ${ZVT_WARNINGS})
  target_compile_definitions(partner_login_bench PRIVATE ZVT_BUNDLE_ROOT="${ZVT_BUNDLE_DIR}")
  target_link_libraries(partner_login_bench PRIVATE zvt_app_screens_account zvt_testsupport zvt_testsupport_ui
    PkgConfig::ZVT_WEBKIT benchmark::benchmark)
  add_dependencies(partner_login_bench zavelto-service zvt_bundle_images)
endif()
