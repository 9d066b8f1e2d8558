// Menu entry 7: a compressed result written back as decimal text.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/console.hpp"
#include "disk/disk_int.hpp"
#include "output/compressed.hpp"
#include "output/decimal_writer.hpp"

namespace zeprix::output {

using core::Print;

void OpenCompressed(const CompressedInfo& info, disk::DiskInt& d) {
    const long capacity = static_cast<long>(std::floor(info.digits / 12 + 1)) + 1;
    d.Init(info.name.c_str(), std::max(capacity, info.limbs));
    d.Packed = 1;
    d._N = info.limbs;
    d.Shift = info.shift;
    d.Offset = 0;
}

void Decompress(FILE* stream) {
    const char* prompt = "Enter your choice : ";
    Print("Decompress : \n");
    Print("[0] The latest Pi compressed file\n");
    Print("[1] The latest E compressed file\n");
    Print("[2] The latest Sqrt2 compressed file\n");
    Print("[3] The latest user constant compressed file\n");
    Print("%s", prompt);
    static const char* const kNames[3] = {"Pi", "E", "Sqrt2"};
    std::string name;
    for (;;) {
        const long choice = core::ReadLong(prompt);
        if (choice >= 0 && choice <= 2) {
            name = kNames[choice];
            break;
        }
        if (choice == 3) {
            const char* namePrompt = "Enter the constant name : ";
            Print("%s", namePrompt);
            for (;;) {
                name = core::ReadWord();
                const std::string problem = CompressedNameProblem(name);
                if (problem.empty()) break;
                Print("Error, \"%s\" cannot be the name of a compressed result (%s).\n%s",
                      name.c_str(), problem.c_str(), namePrompt);
            }
            break;
        }
        Print("Error, unavailable option\n%s", prompt);
    }

    // Every fact and every file is checked before the first question of the writer.
    const CompressedInfo info = ReadCompressedInfo(name);
    disk::DiskInt d;
    OpenCompressed(info, d);
    std::vector<std::string> sources = {name + "-info"};
    for (long k = 0; k <= (info.limbs / 3 * 2 - 1) / disk::kLimbsPerFile; ++k)
        sources.push_back(d.FileName(k));

    Print("*******************************************************\n");
    Print("\n");
    Print("Decompressing %s file\n", name.c_str());
    Print("\n");
    WriteResult(d, name.c_str(), info.digits, stream, -1, 0, sources);
    // d's object goes; its files stay for later decompressions and checks.
}

}  // namespace zeprix::output
