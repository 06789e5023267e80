# libFuzzer targets of the JSON decoder and the Base64 decoder. The libraries under test get the
# fuzzer's coverage instrumentation too (this file is only read by the fuzz build).
foreach(lib zvt_foundation_json zvt_foundation_base64)
  target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link)
endforeach()
zvt_fuzzer(json_decoder_fuzzer ${CMAKE_CURRENT_SOURCE_DIR}/json_decoder_fuzzer.cpp DEPS zvt_foundation_json)
zvt_fuzzer(base64_decoder_fuzzer ${CMAKE_CURRENT_SOURCE_DIR}/base64_decoder_fuzzer.cpp DEPS zvt_foundation_base64)
