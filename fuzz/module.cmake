# With BV_FUZZ=ON (and CC=clang CXX=clang++) everything is compiled with
# libFuzzer's coverage instrumentation and with AddressSanitizer and
# UndefinedBehaviorSanitizer, so that the fuzz targets under fuzz/ see into
# the libraries they drive. Included before the first target is defined.
if(BV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "BV_FUZZ=ON needs clang: configure with CC=clang CXX=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
