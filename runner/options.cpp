#include "options.h"

#include <string_view>

namespace kovar::runner {

const char* const kUsageLine =
    "usage: kovar3-run [--step N | --run] [--limit N] [--fl] [--fresh] [--no-trace] [--state] "
    "[--save FILE] [--expect FILE [--report text|json|csv]] IMAGE... | --make-expect IMAGE";

const char* const kHelpText =
    R"help(Usage: kovar3-run [OPTION]... IMAGE
  or:  kovar3-run --expect FILE [--report text|json|csv] [OPTION]... IMAGE...
  or:  kovar3-run --make-expect IMAGE [--expect FILE] [OPTION]...
Run KOVAR 3 memory images (.emu) or program texts (.kasm) without windows.

With one image, load it into a zeroed machine, perform one Run (as F9) or
N single steps (as F7) and write every trace line to standard output; the
step limit is also reported on standard error ("MaxStep:N"), and so is an
image file that does not hold exactly 2148 bytes (it loads all the same).
With --expect, then compare the final machine with the expected values and
print one line per difference, such as "TOS: expected 00000037, got
00000036" or, for a value written in decimal, "TOS: expected 120
(00000078), got 24 (00000018)".

With several images, or with --report, check each image against the
expected values without a trace and print one summary row per image (per
image and case with a file of cases). An image that cannot be read, or a
memory image not of 2148 bytes, is a failed row and is not run; the others
are still checked.

With --make-expect, run IMAGE and print an expectation file of its final
state, to be edited and given to --expect.

Options:
  --run              perform one Run (the default): until the halt word
                     FFFFFFFF, a breakpoint or the step limit
  --step N           perform N single steps instead of a Run
  --limit N          the step limit of a Run (default 1000)
  --fl               start with the flag FL set
  --fresh            start from zeroed stacks, user registers and FL, as
                     every case of a file of cases does
  --no-trace         write no trace lines
  --state            after the run, print PC, IR, FL, C, DS, RS and URD
                     (one image only)
  --save FILE        after the run, write the machine to the memory image
                     FILE (one image only)
  --expect FILE      compare the final machine with the values in FILE
  --report FORMAT    the summary of a check: text (one row per image and
                     case), json (one document for a grading script) or
                     csv (rows for a spreadsheet)
  --make-expect IMAGE
                     print an expectation file of IMAGE's final state; with
                     --expect FILE of cases, each case keeps its set lines
  --help             print this help and exit
  --version          print the version and exit

Expectation file:
  One NAME = VALUE a line; '#' starts a comment. NAME is one of PC, FL,
  TOS, SOS, 3OS, 4OS, TOR, SOR, 3OR, 4OR, URD0 to URD3, DS[i] or RS[i]
  (stack entry i, 0 to 15, 0 the top), M[a] (the byte at address a), W[a]
  (the word at a as LOAD reads it, least significant byte first) or I[a]
  (the word at a as an instruction, most significant byte first). Values
  and addresses are hexadecimal (0x2A) or decimal (42, -1); hex as the
  simulator shows it (000000DC, 2A) is refused with a hint to write 0x.

  Cases: a line [case NAME] starts a case, followed by its lines
  "set NAME = VALUE" (inputs) and "expect NAME = VALUE" (results). Each
  case starts from the image's memory, marks and PC with zeroed stacks,
  user registers and FL, applies its set lines and runs.

Summary row:
  IMAGE, STEPS, STOP, PASS or FAIL, and the number of differences,
  separated by tabs (with cases, the case's name follows IMAGE). STOP is
  halt, breakpoint, limit, steps (after --step N), size (a memory image
  not of 2148 bytes) or unreadable.

Exit status:
  0  success: the run ended and every expected value matched
  1  the save failed, or standard output could not be written
  2  a usage error, a malformed or unreadable expectation file, or (with
     one image and no report) an image that cannot be read
  3  an expected value differed, or (with a report) an image could not
     be read or was not of 2148 bytes
)help";

namespace {

// Decimal digits only, no sign, no blanks; at most 2^64 - 1.
enum class Number { Ok, Malformed, TooLarge };
Number parseNumber(const std::string* text, uint64_t& out) {
    if (text == nullptr || text->empty())
        return Number::Malformed;
    uint64_t v = 0;
    bool tooLarge = false;
    for (char c : *text) {
        if (c < '0' || c > '9')
            return Number::Malformed;
        const auto d = static_cast<uint64_t>(c - '0');
        if (v > (UINT64_MAX - d) / 10)
            tooLarge = true;
        else
            v = v * 10 + d;
    }
    if (tooLarge)
        return Number::TooLarge;
    out = v;
    return Number::Ok;
}

std::string numberError(const char* option, Number result) {
    return std::string(option) + (result == Number::TooLarge
                                      ? " needs a number below 18446744073709551616"
                                      : " needs a decimal number");
}

} // namespace

Parsed ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error) {
    const auto fail = [&](std::string message) {
        error = std::move(message);
        return Parsed::Error;
    };
    bool reportGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto value = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        // Each option once: a second one is more likely a slip than a wish.
        const auto once = [&](bool& given) {
            const bool twice = given;
            given = true;
            return !twice;
        };
        if (arg == "--help") {
            return Parsed::Help;
        } else if (arg == "--version") {
            return Parsed::Version;
        } else if (arg == "--run") {
            if (!once(o.run))
                return fail("--run given twice");
        } else if (arg == "--step") {
            if (!once(o.settings.step))
                return fail("--step given twice");
            if (const Number r = parseNumber(value(), o.settings.steps); r != Number::Ok)
                return fail(numberError("--step", r));
        } else if (arg == "--limit") {
            if (!once(o.limitGiven))
                return fail("--limit given twice");
            if (const Number r = parseNumber(value(), o.settings.limit); r != Number::Ok)
                return fail(numberError("--limit", r));
        } else if (arg == "--fl") {
            if (!once(o.settings.fl))
                return fail("--fl given twice");
        } else if (arg == "--fresh") {
            if (!once(o.settings.fresh))
                return fail("--fresh given twice");
        } else if (arg == "--make-expect") {
            if (!once(o.makeExpectGiven))
                return fail("--make-expect given twice");
            const std::string* v = value();
            if (!v)
                return fail("--make-expect needs an image");
            o.makeExpectFile = *v;
        } else if (arg == "--no-trace") {
            if (!once(o.noTrace))
                return fail("--no-trace given twice");
        } else if (arg == "--state") {
            if (!once(o.state))
                return fail("--state given twice");
        } else if (arg == "--save") {
            if (!once(o.saveGiven))
                return fail("--save given twice");
            const std::string* v = value();
            if (!v)
                return fail("--save needs a file name");
            o.saveFile = *v;
        } else if (arg == "--expect") {
            if (!once(o.expectGiven))
                return fail("--expect given twice");
            const std::string* v = value();
            if (!v)
                return fail("--expect needs a file name");
            o.expectFile = *v;
        } else if (arg == "--report") {
            if (!once(reportGiven))
                return fail("--report given twice");
            const std::string* v = value();
            if (v && *v == "text")
                o.report = Report::Text;
            else if (v && *v == "json")
                o.report = Report::Json;
            else if (v && *v == "csv")
                o.report = Report::Csv;
            else
                return fail("--report needs text, json or csv");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail("unknown option " + std::string(arg) + "; " + kUsageLine);
        } else {
            o.images.emplace_back(arg);
        }
    }
    if (o.run && o.settings.step)
        return fail("--step and --run exclude each other");
    if (o.makeExpectGiven) {
        if (!o.images.empty())
            return fail("--make-expect takes its image as its argument and no other image");
        if (o.report != Report::None || o.state || o.saveGiven)
            return fail("--make-expect writes the expectation file; it takes no --report, "
                        "--state or --save");
        return Parsed::Run;
    }
    if (o.images.empty())
        return fail(std::string("no image given; ") + kUsageLine);
    if (o.report != Report::None && !o.expectGiven)
        return fail("--report needs --expect");
    if (o.images.size() > 1 && !o.expectGiven)
        return fail("more than one image given; several images need --expect");
    if (o.batch() && o.state)
        return fail("--state takes a single image and no --report");
    if (o.batch() && o.saveGiven)
        return fail("--save takes a single image and no --report");
    return Parsed::Run;
}

} // namespace kovar::runner
