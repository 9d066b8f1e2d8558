// Console input and output of the dialogues: prompts, robust word and number reading.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zeprix::core {

// The streams every dialogue uses; standard input and output unless a test redirects them.
FILE* ConsoleIn();
FILE* ConsoleOut();
void SetConsole(FILE* in, FILE* out);

// Gives the dialogues their answers in advance (the command line): ReadWord and ReadLine
// then take them in order, whole (blanks included), instead of reading the input, and print
// each one after its question as a terminal shows a typed answer. A question beyond the
// last answer ends the program with a message and kFatalExitCode. ClearAnswers goes back
// to reading the input.
void SetAnswers(std::vector<std::string> answers);
void ClearAnswers();

// printf to the console output, flushed at once (progress marks must show immediately).
void Print(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Ends the program when standard input is exhausted in the middle of a dialogue: a short
// message and a nonzero status, never a loop on a closed stream.
[[noreturn]] void EndOfInput();

// Reads one whitespace-delimited word of any length. End of input ends the program.
std::string ReadWord();
// Reads the rest of the current line (without its newline), of any length. End of input
// before any character ends the program.
std::string ReadLine();

// Reads a whole number. A word that is not one is reported and the prompt is shown again;
// the value is never left at garbage.
long ReadLong(const char* prompt);
// Reads a finite decimal number, asking again the same way.
double ReadDouble(const char* prompt);

// Parses a complete word as a long / finite double; false when the word is not one.
bool ParseLong(const std::string& word, long& out);
bool ParseDouble(const std::string& word, double& out);

}  // namespace zeprix::core
