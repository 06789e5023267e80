# Web views: a local page through UIWebView against a bare WebKitWebView on GLib's own loop, and
# the memory three of each hold (the process and its web and network processes), under a
# private Xvfb when no display is set.
if(TARGET zvt_platform_webkit AND TARGET zvt_testsupport_ui)
  add_executable(web_bench ${CMAKE_CURRENT_SOURCE_DIR}/web_bench.cpp)
  target_compile_options(web_bench PRIVATE ${ZVT_WARNINGS})
  target_link_libraries(web_bench PRIVATE zvt_platform_webkit zvt_testsupport_ui PkgConfig::ZVT_WEBKIT benchmark::benchmark)
endif()
