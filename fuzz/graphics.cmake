# libFuzzer target of image decoding: image sources, UIImage, lazily decoded images and
# drawing. Our graphics library gets the coverage instrumentation (libpng, libjpeg-turbo and
# giflib are the system's).
target_compile_options(zvt_platform_graphics PRIVATE -fsanitize=fuzzer-no-link)
zvt_fuzzer(image_decoder_fuzzer ${CMAKE_CURRENT_SOURCE_DIR}/image_decoder_fuzzer.cpp DEPS zvt_platform_graphics)
