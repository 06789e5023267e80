# libFuzzer targets of the HTTP layer: the response serializers (JSON, property list, image) and
# the multipart body reader. The HTTP library gets the coverage instrumentation.
target_compile_options(zvt_foundation_http PRIVATE -fsanitize=fuzzer-no-link)
zvt_fuzzer(http_response_serializer_fuzzer ${CMAKE_CURRENT_SOURCE_DIR}/http_response_serializer_fuzzer.cpp DEPS zvt_foundation_http)
zvt_fuzzer(http_multipart_reader_fuzzer ${CMAKE_CURRENT_SOURCE_DIR}/http_multipart_reader_fuzzer.cpp DEPS zvt_foundation_http)
