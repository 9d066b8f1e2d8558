// libFuzzer target: the reader of constant-definition files.
#include "fuzz_entry.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zeprix::test::FuzzConstantFileInput(data, size);
    return 0;
}
