# Remote images: memory-cache hits against a hash map, disk-cache hits against libpng and
# libjpeg-turbo, and 200 downloads through the downloader against libcurl's multi interface
# (over the loopback test server in a child process).
find_package(CURL REQUIRED)
add_executable(images_bench ${CMAKE_CURRENT_SOURCE_DIR}/images_bench.cpp)
target_compile_options(images_bench PRIVATE ${ZVT_WARNINGS})
target_link_libraries(images_bench PRIVATE zvt_ui_images zvt_testsupport zvt_bench_images CURL::libcurl benchmark::benchmark)
