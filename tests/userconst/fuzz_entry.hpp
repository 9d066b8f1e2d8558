// The entry points that the fuzz targets and the corpus replay test share.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zeprix::test {

// Parses the bytes as a polynomial and as a fraction, and checks what an accepted
// polynomial promises (degree within the limits, no leading zero coefficient, the double
// form exact). Never prints; aborts on a broken promise.
void FuzzParserInput(const std::uint8_t* data, std::size_t size);

// Reads the bytes as a constant-definition file; an accepted file is written back and must
// read again into the same definition. Aborts on a broken promise.
void FuzzConstantFileInput(const std::uint8_t* data, std::size_t size);

}  // namespace zeprix::test
