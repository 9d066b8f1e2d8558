// Console input and output of the dialogues: prompts, robust word and number reading.
#include "core/console.hpp"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <deque>
#include <utility>

#include "core/fatal.hpp"

namespace zeprix::core {

namespace {
FILE* gIn = nullptr;   // null means stdin
FILE* gOut = nullptr;  // null means stdout

// The answers given in advance, while gAnswering.
bool gAnswering = false;
std::deque<std::string> gAnswers;

// The next prepared answer, shown after its question.
std::string NextAnswer() {
    if (gAnswers.empty()) {
        Print("\nThe command line gives no answer to the question above, stopping.\n");
        ExitProgram(kFatalExitCode, "no prepared answer");
    }
    std::string answer = std::move(gAnswers.front());
    gAnswers.pop_front();
    Print("%s\n", answer.c_str());
    return answer;
}
}  // namespace

FILE* ConsoleIn() { return gIn ? gIn : stdin; }
FILE* ConsoleOut() { return gOut ? gOut : stdout; }
void SetConsole(FILE* in, FILE* out) {
    gIn = in;
    gOut = out;
}

void SetAnswers(std::vector<std::string> answers) {
    gAnswers.assign(std::make_move_iterator(answers.begin()),
                    std::make_move_iterator(answers.end()));
    gAnswering = true;
}

void ClearAnswers() {
    gAnswers.clear();
    gAnswering = false;
}

void Print(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(ConsoleOut(), fmt, ap);
    va_end(ap);
    std::fflush(ConsoleOut());
}

void EndOfInput() {
    Print("\nEnd of input: no answer to the question above, stopping.\n");
    ExitProgram(kFatalExitCode, "end of input");
}

std::string ReadWord() {
    if (gAnswering) return NextAnswer();
    FILE* in = ConsoleIn();
    int ch;
    do {
        ch = std::fgetc(in);
    } while (ch != EOF &&
             (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f' || ch == '\v'));
    if (ch == EOF) EndOfInput();
    std::string word;
    while (ch != EOF &&
           !(ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f' || ch == '\v')) {
        word.push_back(static_cast<char>(ch));
        ch = std::fgetc(in);
    }
    // Leave the delimiter consumed, as scanf leaves the following whitespace for the next
    // conversion to skip: nothing depends on it.
    return word;
}

std::string ReadLine() {
    if (gAnswering) return NextAnswer();
    FILE* in = ConsoleIn();
    std::string line;
    int ch = std::fgetc(in);
    if (ch == EOF) EndOfInput();
    while (ch != EOF && ch != '\n') {
        line.push_back(static_cast<char>(ch));
        ch = std::fgetc(in);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

bool ParseLong(const std::string& word, long& out) {
    if (word.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(word.c_str(), &end, 10);
    if (errno != 0 || end == word.c_str() || *end != '\0') return false;
    out = v;
    return true;
}

bool ParseDouble(const std::string& word, double& out) {
    if (word.empty()) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(word.c_str(), &end);
    if (errno != 0 || end == word.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    out = v;
    return true;
}

long ReadLong(const char* prompt) {
    for (;;) {
        std::string w = ReadWord();
        long v;
        if (ParseLong(w, v)) return v;
        Print("\"%s\" is not a whole number, please try again.\n%s", w.c_str(), prompt);
    }
}

double ReadDouble(const char* prompt) {
    for (;;) {
        std::string w = ReadWord();
        double v;
        if (ParseDouble(w, v)) return v;
        Print("\"%s\" is not a number, please try again.\n%s", w.c_str(), prompt);
    }
}

}  // namespace zeprix::core
