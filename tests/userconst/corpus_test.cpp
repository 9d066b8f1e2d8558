// Replays the fuzzing corpus (tests/userconst/corpus) through the fuzz entry points, so
// that every input the fuzzers kept, including any that once found a fault, stays checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fuzz_entry.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

TEST(FuzzCorpus, InputsKeepTheirPromises) {
    for (const auto& [sub, entry, least] : {std::tuple{"parser", &FuzzParserInput, 10},
                                            std::tuple{"file", &FuzzConstantFileInput, 5}}) {
        int count = 0;
        for (const auto& e :
             std::filesystem::directory_iterator(std::string(ZEPRIX_CORPUS) + "/" + sub)) {
            SCOPED_TRACE(e.path().string());
            const std::string s = ReadFile(e.path());
            entry(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
            ++count;
        }
        EXPECT_GE(count, least) << sub;
    }
}

}  // namespace
}  // namespace zeprix::test
