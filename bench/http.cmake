# The HTTP layer: manager POSTs against libcurl plus the JSON codec (over the loopback test
# server), and the image response serializer against libpng and libjpeg-turbo.
find_package(CURL REQUIRED)
add_executable(http_bench ${CMAKE_CURRENT_SOURCE_DIR}/http_bench.cpp)
target_compile_options(http_bench PRIVATE ${ZVT_WARNINGS})
target_link_libraries(http_bench PRIVATE zvt_foundation_http zvt_testsupport zvt_bench_images CURL::libcurl
  benchmark::benchmark)
