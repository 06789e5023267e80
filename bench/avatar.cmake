# The avatar of the personal information: from "选取" in the picker to the new picture drawn in
# its row (PNG encoding, multipart upload, refresh, picture load) for a 1024 x 1024 edited
# picture against the local service, beside libpng encoding the same pixels and libcurl posting
# the same body.
find_package(CURL REQUIRED)
if(TARGET zavelto-service)
  add_executable(avatar_bench ${CMAKE_CURRENT_SOURCE_DIR}/avatar_bench.cpp)
  target_compile_options(avatar_bench PRIVATE ${ZVT_WARNINGS})
  target_compile_definitions(avatar_bench PRIVATE ZVT_BUNDLE_ROOT="${ZVT_BUNDLE_DIR}")
  target_link_libraries(avatar_bench PRIVATE zvt_app_screens_account zvt_testsupport CURL::libcurl PkgConfig::ZVT_PNG
    benchmark::benchmark)
  add_dependencies(avatar_bench zavelto-service zvt_bundle_images)
endif()
