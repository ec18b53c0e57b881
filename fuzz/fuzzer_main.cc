// One libFuzzer target: BV_FUZZ_ENTRY names its entry point in
// fuzz/fuzz_entries.h (the build compiles this file once per target).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return BV_FUZZ_ENTRY(data, size); }
