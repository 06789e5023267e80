# The local service under many clients at once: the rate of large pictures by number of clients
# beside the service's own picture code (zlib deflating) on as many threads, and a signed call's
# time beside picture clients.
if(TARGET zavelto-service)
  find_package(OpenSSL REQUIRED)
  find_package(ZLIB REQUIRED)
  find_package(JPEG REQUIRED)
  find_package(nlohmann_json REQUIRED)
  # The peer makes pictures with the service's own code, in this process.
  add_executable(service_load_bench ${CMAKE_CURRENT_SOURCE_DIR}/service_load_bench.cpp
    ${CMAKE_SOURCE_DIR}/service/Images.cpp)
  target_compile_options(service_load_bench PRIVATE ${ZVT_WARNINGS})
  target_link_libraries(service_load_bench PRIVATE zvt_testsupport OpenSSL::Crypto ZLIB::ZLIB JPEG::JPEG
    nlohmann_json::nlohmann_json benchmark::benchmark)
  add_dependencies(service_load_bench zavelto-service)
endif()
