// libFuzzer target: the expression and fraction parser.
#include "fuzz_entry.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zeprix::test::FuzzParserInput(data, size);
    return 0;
}
