// Compressed results: the packed limb files NAME-00, NAME-01, ... and their info file
// NAME-info; the writer, and the checked reading of an existing result.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace zeprix::numbers {
class MPInt;
}
namespace zeprix::disk {
class DiskInt;
}

namespace zeprix::output {

// Longest NAME of a compressed result: the base name of a disk integer's files.
inline constexpr std::size_t kMaxCompressedName = 19;

// Why `name` cannot name a compressed result ("" when it can): empty, longer than
// kMaxCompressedName, or holding a blank or a '/' (the decompression dialogue reads the
// name back as one word of the current directory).
std::string CompressedNameProblem(const std::string& name);

// Stores the positive number a (12 digits per limb) as the compressed result NAME, with
// `digits` valid decimal digits, written by a computation with FFT size fftSize. The new
// limb files and NAME-info are written beside the old ones (NAME-kk.incomplete,
// NAME-info.incomplete) and synced; then the old NAME-info is removed, the new limb files
// are renamed into place and NAME-info is renamed last. So at every moment NAME-info
// either describes complete limb files (the previous result or the new one) or does not
// exist. A failed write (full disk) ends the program with a message and leaves the
// previous result as it was; an end by signal removes the temporary files.
void WriteCompressed(numbers::MPInt& a, double digits, const std::string& name, long fftSize);

// The facts of a compressed result, as NAME-info holds them.
struct CompressedInfo {
    std::string name;
    double digits = 0;  // valid decimal digits
    long limbs = 0;     // limbs stored, a multiple of 3
    long shift = 0;     // limb exponent of the lowest limb
    long fftSize = 0;   // FFT size in points of the computation that wrote it
};

// Reads NAME-info and checks it against the limb files: four whole numbers, a limb count
// that is a positive multiple of 3 and holds the digits, and limb files NAME-00, ... of
// exactly the size the count gives. Anything else ends the program with a message saying
// what is wrong (and nothing has been asked or written yet).
CompressedInfo ReadCompressedInfo(const std::string& name);

// Sets d up as the packed number of a checked compressed result (reading the files
// through d unpacks them). The files stay: d's object may be dropped without Free.
void OpenCompressed(const CompressedInfo& info, disk::DiskInt& d);

// Menu entry 7: chooses a compressed result, then writes it as decimal text through the
// output file, digit range and layout dialogues of WriteResult. With a stream the digits
// go there and the output file question is not asked.
void Decompress(FILE* stream = nullptr);

}  // namespace zeprix::output
