# URL loading: NSURLConnection against a plain libcurl easy handle on the loopback test server.
find_package(CURL REQUIRED)
add_executable(urlload_bench ${CMAKE_CURRENT_SOURCE_DIR}/urlload_connection.cpp)
target_link_libraries(urlload_bench PRIVATE zvt_platform_network zvt_testsupport CURL::libcurl benchmark::benchmark)
