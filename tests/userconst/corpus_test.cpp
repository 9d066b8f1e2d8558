// Replays the fuzzing corpus (tests/userconst/corpus) through the fuzz entry points, so
// that every input the fuzzers kept, including any that once found a fault, stays checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_entry.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

std::vector<std::filesystem::path> Files(const char* sub) {
    std::vector<std::filesystem::path> v;
    for (const auto& e : std::filesystem::directory_iterator(std::string(ZEPRIX_CORPUS) + "/" + sub))
        if (e.is_regular_file()) v.push_back(e.path());
    return v;
}

TEST(FuzzCorpus, ParserInputsKeepTheirPromises) {
    const auto files = Files("parser");
    ASSERT_GE(files.size(), 10u);
    for (const auto& p : files) {
        SCOPED_TRACE(p.string());
        const std::string s = ReadFile(p);
        FuzzParserInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    }
}

TEST(FuzzCorpus, ConstantFilesKeepTheirPromises) {
    const auto files = Files("file");
    ASSERT_GE(files.size(), 5u);
    for (const auto& p : files) {
        SCOPED_TRACE(p.string());
        const std::string s = ReadFile(p);
        FuzzConstantFileInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    }
}

}  // namespace
}  // namespace zeprix::test
