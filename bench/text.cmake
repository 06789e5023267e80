# Text measurement: repeated measurement of the same label against a hash-map lookup, and first
# measurement of new labels against Pango called directly, in one run.
add_executable(text_bench ${CMAKE_CURRENT_SOURCE_DIR}/text_bench.cpp)
target_compile_options(text_bench PRIVATE ${ZVT_WARNINGS})
target_link_libraries(text_bench PRIVATE zvt_platform_text PkgConfig::ZVT_PANGOCAIRO benchmark::benchmark)
