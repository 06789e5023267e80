# Image decoding: a 1920 x 1080 PNG and JPEG through our decoding (UIImage, image sources)
# side by side with libpng and libjpeg-turbo called directly.
add_executable(graphics_bench ${CMAKE_CURRENT_SOURCE_DIR}/graphics_decode_bench.cpp)
target_compile_options(graphics_bench PRIVATE ${ZVT_WARNINGS})
target_link_libraries(graphics_bench PRIVATE zvt_bench_images benchmark::benchmark)
