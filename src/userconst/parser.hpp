// The expression parser: polynomials in n and fractions of integer expressions, with the
// caret report of syntax errors.
#pragma once

#include <memory>
#include <string>

#include "userconst/fraction.hpp"
#include "userconst/polynom.hpp"

namespace zeprix::userconst {

// Limits that keep every accepted expression cheap to build and to use (a series needs
// small degrees; without them n^1000000 or (n+1)^999999 would take hours). An expression
// beyond them is rejected like a syntax error, with a reason.
inline constexpr long kMaxDegree = 100;
inline constexpr long kMaxCoefficientLimbs = 250;  // 2000 decimal digits
inline constexpr long kMaxNesting = 100;           // parentheses and leading minus signs
inline constexpr double kMaxWork = 5e7;            // limb products spent on one expression

struct ParseResult {
    bool ok = false;
    long errorPos = -1;  // -1: no position found (the caret goes under column 1)
    std::string reason;  // why a well-formed expression was refused (limits)
    bool usedVariable = false;
    PolynomStandard poly;
};

// Recursive descent (blanks skipped after every consumed character, not before the first):
//   expression := ['-'] term {('+'|'-') term}
//   term       := factor {'*' factor}
//   factor     := [integer] power          (k power is k times the power)
//   power      := primary ['^' integer]    (0 <= exponent <= 1000000)
//   primary    := variable | integer | '(' expression ')'
// Never prints and never ends the program: the building block of the dialogue and file
// readers and the fuzz target.
ParseResult ParseExpressionText(const std::string& text, char variable);

// The syntax error report: "Syntax error in your expression : \n", "\n", the text, blanks
// up to the error position and "^^^...\n" (then the reason, if any).
void PrintSyntaxError(const std::string& text, long errorPos, const std::string& reason);

// A polynomial in n, in its PolynomDouble form when it fits; null after printing the
// report when the text does not parse.
std::unique_ptr<Polynom> ParsePolynomial(const std::string& text);

// "a/b" or "a" (denominator 1), each side a constant expression. Returns false (after
// printing the report on a syntax error, or a note for a zero denominator) when refused.
// A side that contains the letter % (the variable of fractions) is refused silently.
bool ParseFraction(const std::string& text, Fraction& out);
// The same without printing; error receives a one-line explanation.
bool ParseFractionQuiet(const std::string& text, Fraction& out, std::string& error);

}  // namespace zeprix::userconst
