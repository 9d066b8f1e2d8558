// The debug log "Zeprix.log" written by an internal error: what it copies and the sections
// that the subsystems register.
#pragma once

#include <cstdio>
#include <string>

namespace zeprix::core {

// A section prints the state of one heavy operation, or nothing when that operation is not
// running. Sections are printed by increasing rank; the ranks in use are 10 (NTT set-up),
// 20 (NTT product), 30 (giant step), 40 (giant step on disk), 50 (disk product) and
// 60 (disk addition).
using LogSection = void (*)(std::FILE* log);
void RegisterLogSection(int rank, LogSection section);

// The file whose contents begin the log (the result file of the running computation, as
// far as it is written); empty for none.
void SetLogSourceFile(const std::string& path);

// Writes the whole log to "Zeprix.log"; false when it cannot be created.
bool WriteDebugLog(std::string_view msg);

// The 32-dash line that opens every section.
inline constexpr const char* kLogSectionLine = "--------------------------------\n";

}  // namespace zeprix::core
