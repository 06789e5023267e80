# The rebate orders screen: opening it logged in (with its parts) against the same two
# enciphered requests made with libcurl and OpenSSL's DES, and a scroll step over 25 orders
# with a coupon picker open against a table of plain rows; the local service on the loopback.
find_package(CURL REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(nlohmann_json REQUIRED)
add_executable(orders_bench ${CMAKE_CURRENT_SOURCE_DIR}/orders_bench.cpp)
target_compile_options(orders_bench PRIVATE ${ZVT_WARNINGS})
target_compile_definitions(orders_bench PRIVATE ZVT_BUNDLE_ROOT="${ZVT_BUNDLE_DIR}")
target_link_libraries(orders_bench PRIVATE zvt_app_screens_shopping zvt_foundation_json zvt_testsupport CURL::libcurl
  OpenSSL::Crypto nlohmann_json::nlohmann_json benchmark::benchmark)
add_dependencies(orders_bench zvt_bundle_images)
if(TARGET zavelto-service)
  add_dependencies(orders_bench zavelto-service)
endif()
