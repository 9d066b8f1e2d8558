// FileConstant: definition dialogue, ".zeprix" files and the sum of the series.
#include "userconst/file_constant.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/atomic_file.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "numbers/schoolbook.hpp"
#include "userconst/parser.hpp"

namespace zeprix::userconst {

using core::Print;
using numbers::BigInt;

namespace {

// A cursor over the text of a definition file. Values are the rest of their line after
// the colon, blanks trimmed at both ends, so that values typed with blanks read back whole
// and files whose values are single words read as before.
class TextReader {
public:
    explicit TextReader(const std::string& t) : t_(t) {}

    // Moves past the next ':'; false (at the end) when there is none.
    bool SkipToColon() {
        const std::size_t c = t_.find(':', pos_);
        if (c == std::string::npos) {
            pos_ = t_.size();
            return false;
        }
        valueStart_ = c;
        pos_ = c + 1;
        return true;
    }
    std::string RestOfLine() {
        const std::size_t e = std::min(t_.find('\n', pos_), t_.size());
        std::string s = t_.substr(pos_, e - pos_);
        pos_ = e < t_.size() ? e + 1 : e;
        return Trim(s);
    }
    // Skips newline characters and reads one line (a trailing '\r' dropped); false at the end.
    bool NextLine(std::string& line) {
        while (pos_ < t_.size() && (t_[pos_] == '\n' || t_[pos_] == '\r')) ++pos_;
        if (pos_ >= t_.size()) return false;
        const std::size_t e = std::min(t_.find('\n', pos_), t_.size());
        line = t_.substr(pos_, e - pos_);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        valueStart_ = pos_;
        pos_ = e;
        return true;
    }
    // Line number (from 1) of the value read last: the reader has already moved past its
    // line end, so the current position would name the line after it.
    long Line() const {
        return 1 + static_cast<long>(
                       std::count(t_.begin(), t_.begin() + static_cast<long>(valueStart_), '\n'));
    }
    static std::string Trim(const std::string& s) {
        const std::size_t a = s.find_first_not_of(" \t\r");
        if (a == std::string::npos) return "";
        const std::size_t b = s.find_last_not_of(" \t\r");
        return s.substr(a, b - a + 1);
    }

private:
    const std::string& t_;
    std::size_t pos_ = 0;
    std::size_t valueStart_ = 0;
};

bool ParseWholeNumber(const std::string& s, long& v) { return core::ParseLong(s, v); }

bool IsDirectory(FILE* f) {
    struct stat st;
    return ::fstat(::fileno(f), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

FileConstant::~FileConstant() = default;

std::string FileConstant::GetFileName() const {
    std::string f = name;
    std::replace(f.begin(), f.end(), '/', '_');
    return f + ".txt";
}

double FileConstant::ApproximateConstant() const {
    if (count < 1) return 0;
    double s = 0;
    for (long i = 0; i < count; ++i)
        s += betas[static_cast<std::size_t>(i)].Value() *
             series[static_cast<std::size_t>(i)]->ApproximateValue();
    return s;
}

void FileConstant::DefineConstant() {
    Print("          ************************************\n");
    Print("          *                                  *\n");
    Print("          *      User constant definition    *\n");
    Print("          *    (see help.txt file for help)  *\n");
    Print("          *                                  *\n");
    Print("          ************************************\n");
    Print("\n");
    Print("Enter the constant name : ");
    for (;;) {
        name = TextReader::Trim(ReadTextLine());
        if (!name.empty()) break;
        Print("Error, the name cannot be blank. Enter the constant name : ");
    }
    Print("Comments (type <RETURN>.<RETURN> to end) : \n");
    comments.clear();
    for (;;) {
        const std::string line = ReadTextLine();
        if (line == ".") break;
        comments += line + "\n";
    }
    Print("\n");
    Print("The constant is defined in the form : \n");
    Print("%s =  sum_{0<=i<N} beta_i * H_i\n", name.c_str());
    Print("where beta_i are fractions are H_i hypergeometric series\n");
    Print("\n");
    const char* prompt = "Enter the number N of functions : ";
    Print("%s", prompt);
    for (;;) {
        count = core::ReadLong(prompt);
        if (count >= 1 && count <= kMaxSeries) break;
        Print("Error, the number of series is from 1 to %ld.\n%s", kMaxSeries, prompt);
    }
    betas.assign(static_cast<std::size_t>(count), Fraction());
    betaTexts.assign(static_cast<std::size_t>(count), std::string());
    series.clear();
    series.resize(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        Print("\n");
        Print("Enter beta_%ld : ", i);
        do {
            betaTexts[k] = ReadTextLine();
        } while (!ParseFraction(betaTexts[k], betas[k]));
        Print("************ hypergeometric series H_%ld ************\n", i);
        for (;;) {
            series[k] = Hypergeom::ChooseSeries();
            if (series[k]->CheckDefinition() == 1) break;
            Print("Error in hypergeometric series definition\n");
            Print("Redefine the hypergeometric series H_%ld :\n", i);
        }
        Print("Your series is well defined, it converges like (1/%lf)^n\n", series[k]->Rate());
        Print("Approximate value is H ~ %.12lf\n", series[k]->ApproximateValue());
    }
    Print("Constant approximate value : %s = %lf\n", name.c_str(), ApproximateConstant());
    Print("\n");
    Print("You have defined a user constant. You must save it to a file,\n");
    Print("and reload it for each computation.\n");

    std::string fileName;
    for (;;) {
        Print("File name (suffix .zeprix will be automatically added) : ");
        fileName = core::ReadWord() + ".zeprix";
        FILE* f = std::fopen(fileName.c_str(), "r");
        if (!f) break;
        std::fclose(f);
        const char* q = "Overwrite [0=No, 1=Yes] ? ";
        Print("Warning, a file with this name already exists.\n");
        Print("%s", q);
        if (core::ReadLong(q) != 0) break;
    }
    // Written beside and renamed over an earlier file of that name, so that a failed write
    // (full disk, signal) never leaves a cut definition behind.
    core::AtomicFile f(fileName, "w");
    WriteConstantFile(f.get());
    f.Commit();
    Print("File %s saved.\n", fileName.c_str());
}

void FileConstant::WriteConstantFile(FILE* f) const {
    std::fprintf(f, "// Zeprix user constant definition file, written by the program\n");
    std::fprintf(f, "       ***************************************\n");
    std::fprintf(f, "       *                                     *\n");
    std::fprintf(f, "       *    User constant file definition    *\n");
    std::fprintf(f, "       *                                     *\n");
    std::fprintf(f, "       ***************************************\n");
    std::fprintf(f, "\n");
    std::fprintf(f, "Version : %s\n", shell::kVersion);
    std::fprintf(f, "Constant name : %s\n", name.c_str());
    std::fprintf(f, "Comments :\n");
    std::fprintf(f, "%s\n", comments.c_str());
    std::fprintf(f, ".\n");
    std::fprintf(f, "Number of series : %ld\n", count);
    for (long i = 0; i < count; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        std::fprintf(f, "\n");
        std::fprintf(f, "Series number %ld\n", i);
        std::fprintf(f, "Beta : %s\n", k < betaTexts.size() ? betaTexts[k].c_str() : "");
        std::fprintf(f, "Series type : %ld\n", series[k]->seriesType);
        series[k]->WriteDefinition(f);
    }
    std::fprintf(f, "\n");
    std::fprintf(f, "Constant approximate value : %s = %.12lf\n", name.c_str(),
                 ApproximateConstant());
}

// The reader follows the colons of the format: version, name, comments, number of series,
// then per series the beta, the type and the definition lines.
bool FileConstant::ParseConstantText(const std::string& text, std::string& error) {
    TextReader r(text);
    auto fail = [&](const std::string& msg, const std::string& detail) {
        error = msg;
        if (!error.empty() && error.back() != '\n') error += "\n";
        error += "(line " + std::to_string(r.Line()) + ": " + detail + ")";
        return false;
    };
    if (text.find('\0') != std::string::npos)
        return fail("Error while unstreaming, this is not a text file", "a zero byte");
    if (!r.SkipToColon() || !r.SkipToColon())
        return fail("Error while unstreaming, the constant name is missing",
                    "no \"Constant name :\" line");
    name = r.RestOfLine();
    if (name.empty())
        return fail("Error while unstreaming, the constant name is missing", "empty name");
    if (!r.SkipToColon())
        return fail("Error while unstreaming, the comments are missing", "no \"Comments :\" line");
    comments.clear();
    for (;;) {
        std::string line;
        if (!r.NextLine(line))
            return fail("Error while unstreaming, the comments are not ended",
                        "no line holding a single '.' after the comments");
        if (line == ".") break;
        comments += line + "\n";
    }
    const char* badCount = "Error while unstreaming, number of series is not valid\n";
    if (!r.SkipToColon()) return fail(badCount, "no \"Number of series :\" line");
    const std::string countText = r.RestOfLine();
    long n = 0;
    if (!ParseWholeNumber(countText, n) || n < 1 || n > kMaxSeries)
        return fail(badCount, "\"" + countText + "\" is not a number of series from 1 to " +
                                  std::to_string(kMaxSeries));
    count = n;
    betas.assign(static_cast<std::size_t>(n), Fraction());
    betaTexts.assign(static_cast<std::size_t>(n), std::string());
    series.clear();
    series.resize(static_cast<std::size_t>(n));
    const char* badSeries = "Error while unstreaming hypergeometric series";
    for (long i = 0; i < n; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        const std::string which = "series number " + std::to_string(i);
        if (!r.SkipToColon())
            return fail("Error while unstreaming, a beta value is corrupted",
                        which + " is missing");
        const std::string betaText = r.RestOfLine();
        betaTexts[k] = betaText;
        std::string why;
        if (!ParseFractionQuiet(betaText, betas[k], why))
            return fail("Error while unstreaming, a beta value is corrupted",
                        which + ", beta \"" + betaText + "\": " + why);
        if (!r.SkipToColon()) return fail(badSeries, which + ": no \"Series type :\" line");
        const std::string typeText = r.RestOfLine();
        long type = -1;
        if (!ParseWholeNumber(typeText, type) || type < 0 || type > 3)
            return fail("Unknown type",
                        which + ", series type \"" + typeText + "\" (should be 0, 1, 2 or 3)");
        auto h = std::make_unique<Hypergeom>(type);
        if (type == 0) {
            if (!r.SkipToColon()) return fail(badSeries, which + ": no \"Definition mode :\" line");
            const std::string modeText = r.RestOfLine();
            if (!ParseWholeNumber(modeText, h->definitionMode))
                return fail(badSeries,
                            which + ", definition mode \"" + modeText + "\" is not a number");
            std::string* texts[] = {&h->textAlpha, &h->textBeta, &h->textF, &h->textG};
            const char* names[] = {"Alpha", "Beta", "Polynomial F", "Polynomial G"};
            for (int j = 0; j < 4; ++j) {
                if (!r.SkipToColon())
                    return fail(badSeries, which + ": no \"" + names[j] + " :\" line");
                *texts[j] = r.RestOfLine();
            }
        }
        if (!r.SkipToColon()) return fail(badSeries, which + ": no \"Z :\" line");
        h->textZ = r.RestOfLine();
        if (!h->BuildFromTexts(why)) return fail(badSeries, which + ", " + why);
        const std::string check = h->CheckMessage();
        if (!check.empty())
            return fail("Error in hypergeometric series definition\n" + check,
                        which + " cannot be computed");
        series[k] = std::move(h);
    }
    return true;
}

void FileConstant::ReadConstantFile(FILE* f, const std::string& fileName) {
    std::string text;
    char buf[65536];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) {
        text.append(buf, got);
        if (static_cast<long>(text.size()) > kMaxFileBytes)
            core::UserError("Error while unstreaming, the file \"" + fileName +
                            "\" is too large to be a constant definition file");
    }
    if (std::ferror(f))
        core::UserError("Error while unstreaming, the file \"" + fileName + "\" cannot be read (" +
                        std::strerror(errno) + ")");
    std::string error;
    if (!ParseConstantText(text, error))
        core::UserError(error + "\nin the constant file \"" + fileName +
                        "\": correct the file (help.txt describes its format) and load it again.");
}

void FileConstant::LoadConstantFile() {
    std::string fileName;
    FILE* f = nullptr;
    for (;;) {
        Print("Zeprix file name (the .zeprix suffix can be omitted) : ");
        fileName = core::ReadWord();
        f = std::fopen(fileName.c_str(), "r");
        int err = errno;
        if (!f && err == ENOENT) {
            fileName += ".zeprix";
            f = std::fopen(fileName.c_str(), "r");
            err = errno;
        }
        if (f && IsDirectory(f)) {
            std::fclose(f);
            f = nullptr;
            err = EISDIR;
        }
        if (f) break;
        if (err == ENOENT)
            Print("This file does not exists. Please type an existing file name.\n");
        else
            Print("The file \"%s\" cannot be read (%s). Please type another file name.\n",
                  fileName.c_str(), std::strerror(err));
    }
    ReadConstantFile(f, fileName);
    std::fclose(f);
    Print("***************************************************\n");
    Print("*              Constant file loaded               *\n");
    Print("***************************************************\n");
    Print("\n");
    Print("  Constant name : %s\n", name.c_str());
    Print("  Comments : \n");
    Print("%s\n", comments.c_str());
    Print("  Constant approximate value = %.12lf\n", ApproximateConstant());
    Print("--------------------------------------------------\n");
    Print("\n");
}

void FileConstant::EstimateMemory(double F, double& memory, double& disk) const {
    memory = 0;
    disk = 0;
    for (const auto& h : series) {
        h->SetParameters(digits, static_cast<long>(F), mode);
        double m = 0, d = 0;
        h->EstimateMemory(F, m, d);
        memory = std::max(memory, m);
        disk = std::max(disk, d);
    }
    memory += 8 * (std::trunc((digits + 100) * std::log(10.0) / std::log(1e12)) + 2);
}

// beta_i is folded into the series (alpha and beta multiplied exactly) instead of a short
// division and product of the result, which would limit beta_i's numerator and denominator
// and lose precision for large ones.
long FileConstant::Compute() {
    const long R = static_cast<long>((digits + 100) * std::log(10.0) / std::log(1e12));
    for (long i = 0; i < count; ++i) {
        Hypergeom& h = *series[static_cast<std::size_t>(i)];
        h.SetParameters(digits, fftSize, mode);
        h.SetScale(betas[static_cast<std::size_t>(i)]);
        Print("=====> COMPUTING SERIES NUMBER %ld <=====\n", i);
        h.Compute();
        std::unique_ptr<BigInt> r = h.TakeResult();
        if (!sum_) {
            sum_ = std::move(r);
            continue;
        }
        // As long as the longer part: parts larger than 1 carry the digits above the unit,
        // which a sum that cancels must not cut from the digits below it.
        auto T = std::make_unique<BigInt>();
        T->Alloc(std::max(R, std::max(sum_->_N, r->_N)) + 2);
        numbers::AddBigInt(*sum_, *r, *T);
        sum_ = std::move(T);
    }
    result = sum_.get();
    return 1;
}

}  // namespace zeprix::userconst
