# JSON codec and Base64 benchmarks, side by side with their peers (bench-only dependencies):
# RapidJSON's DOM parse and writer, nlohmann::json, and OpenSSL's EVP_EncodeBlock/EVP_DecodeBlock.
find_package(nlohmann_json REQUIRED)
find_package(OpenSSL REQUIRED)

add_executable(json_bench ${CMAKE_CURRENT_SOURCE_DIR}/json_bench.cpp)
target_compile_options(json_bench PRIVATE ${ZVT_WARNINGS})
target_compile_definitions(json_bench PRIVATE ZVT_JSON_BENCH_DATA="${ZVT_BENCH_DATA}/json")
target_link_libraries(json_bench PRIVATE zvt_foundation_json nlohmann_json::nlohmann_json benchmark::benchmark)

add_executable(base64_bench ${CMAKE_CURRENT_SOURCE_DIR}/base64_bench.cpp)
target_compile_options(base64_bench PRIVATE ${ZVT_WARNINGS})
target_link_libraries(base64_bench PRIVATE zvt_foundation_base64 OpenSSL::Crypto benchmark::benchmark)
