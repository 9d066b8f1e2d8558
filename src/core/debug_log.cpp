// The debug log "Zeprix.log": a copy of the running computation's result file, the message,
// the date and the sections registered by the subsystems.
#include "core/debug_log.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/clock.hpp"

namespace zeprix::core {

namespace {

const char* const kBox = "==================================\n";

std::vector<std::pair<int, LogSection>>& Sections() {
    static std::vector<std::pair<int, LogSection>> sections;
    return sections;
}

std::string& SourceFile() {
    static std::string path;
    return path;
}

void WriteText(FILE* f, std::string_view s) { std::fwrite(s.data(), 1, s.size(), f); }

}  // namespace

void RegisterLogSection(int rank, LogSection section) {
    auto& s = Sections();
    s.emplace_back(rank, section);
    std::stable_sort(s.begin(), s.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

void SetLogSourceFile(const std::string& path) { SourceFile() = path; }

bool WriteDebugLog(std::string_view msg) {
    FILE* log = std::fopen("Zeprix.log", "w");
    if (!log) return false;
    if (!SourceFile().empty()) {
        if (FILE* src = std::fopen(SourceFile().c_str(), "r")) {
            char buf[65536];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, src)) > 0) std::fwrite(buf, 1, n, log);
            std::fclose(src);
        }
    }
    std::fprintf(log, "\n");
    std::fprintf(log, "%s", kBox);
    std::fprintf(log, "=             ERROR              =\n");
    std::fprintf(log, "%s", kBox);
    std::fprintf(log, "\n");
    std::fprintf(log, "%s\n", DateText().c_str());
    std::fprintf(log, "\n");
    WriteText(log, msg);
    std::fprintf(log, "\n\n");
    std::fprintf(log, "%s", kBox);
    std::fprintf(log, "=          DEBUG INFORMATION     =\n");
    std::fprintf(log, "%s", kBox);
    std::fprintf(log, "\n");
    for (const auto& [rank, section] : Sections()) section(log);
    bool ok = std::ferror(log) == 0;
    if (std::fclose(log) != 0) ok = false;
    return ok;
}

}  // namespace zeprix::core
