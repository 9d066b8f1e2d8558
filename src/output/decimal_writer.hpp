// Decimal writer: a number's digits as text, in a chosen range and layout.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zeprix::numbers {
class MPInt;
}

namespace zeprix::output {

// The text layout of decimal output.
struct OutputFormat {
    long newLineEvery = 50;     // new line after every x digits (0: never)
    long counter = 1;           // 1: end each line with the running digit count
    long emptyLineEvery = 500;  // empty line after every x digits (0: never)
    long space10 = 1;           // blank after every 10 digits
    long space50 = 0;           // extra blank after every 50 digits
    long space100 = 0;          // extra blank after every 100 digits
};

// Writes the digits of a after the decimal point (digits of them are valid).
//   name: display name or null; stream: open stream, or null to ask for one (standard
//   output or a file the dialogue creates); formatRequest -1 asks for the layout, any other
//   value uses the default; rangeRequest 0 asks for the digit range, any other value writes
//   all digits. A negative number is written as "-" followed by the exact digits of its
//   absolute value. A file the dialogue creates is written under a temporary name and
//   renamed when complete (a range refused or a failed write leaves no file of that name);
//   the dialogue refuses a name that is one of `sources` (the files a is read from).
void WriteResult(numbers::MPInt& a, const char* name, double digits, FILE* stream,
                 long formatRequest, long rangeRequest,
                 const std::vector<std::string>& sources = {});

// Writes positions start + 1 .. end of a (and, when start is 0, its integer part), then a
// newline. sign is a's sign (-1 writes the absolute value after a "-").
void WriteDigits(FILE* f, numbers::MPInt& a, int sign, double start, double end,
                 const OutputFormat& format);

// Writes a whole value of `width` decimal digits, zero-padded (width 2, 4, ..., 12).
void WriteLimbDigits(FILE* f, double value, int width);

// Writes the blanks, counter and new lines due at position p (a multiple of 10).
void WriteSeparator(FILE* f, double p, const OutputFormat& format);

}  // namespace zeprix::output
