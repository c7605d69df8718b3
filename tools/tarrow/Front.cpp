#include "Front.h"

#include "base/PackageMessages.h"
#include "base/Printable.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarrowcli {

std::string usage() {
    return "usage: tarrow l|t|x [options] ARCHIVE [PATTERN...]\n"
           "       tarrow [options] l|t|x ARCHIVE [PATTERN...]\n"
           "       tarrow --help | --version\n"
           "  l  list the members     t  test them     x  extract them\n"
           "  -d DIR       extract under DIR\n"
           "  -x PATTERN   leave out members that match (may be repeated)\n"
           "  -P PASSWORD  password for encrypted members\n"
           "  -o           overwrite existing files without asking\n"
           "  -n           never overwrite existing files\n"
           "  -u           update: write members newer than the existing file, and new ones\n"
           "  -f           freshen: write only members newer than the existing file\n"
           "  -j           junk paths: write every member into DIR itself\n"
           "  -z           show the archive comment\n"
           "  -O CHARSET   read names without the UTF-8 flag in code page CHARSET (an iconv\n"
           "               name: CP866, CP1251, CP932, CP850, ...)\n"
           "  --json       with l: one JSON object per member and line\n"
           "  --recover    when the end record or the central directory is missing or damaged, find\n"
           "               the members by walking the local headers (they are marked as recovered)\n";
}

namespace {

// Reads the options from argv[i] on up to the first argument that is not one (or past "--", when
// `end` is allowed), leaving i there; false with a message in `error` on a usage error.
bool parseOptionRun(int argc, char** argv, int& i, Options& o, std::string& error, bool end) {
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
        std::string opt = argv[i];
        if (opt == "--" && end) {
            ++i;
            break;
        }
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                error = "option " + opt + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        std::string text;
        if (opt == "-d") {
            if (!value(o.folder)) return false;
        } else if (opt == "-x") {
            if (!value(text)) return false;
            o.exclude.push_back(text);
        } else if (opt == "-P") {
            if (!value(o.password)) return false;
            o.hasPassword = true;
        } else if (opt == "-o") {
            o.overwrite = 11;
        } else if (opt == "-n") {
            o.overwrite = 12;
        } else if (opt == "-u") {
            o.update = true;
        } else if (opt == "-f") {
            o.freshen = true;
        } else if (opt == "-j") {
            o.junkPaths = true;
        } else if (opt == "-O") {
            if (!value(o.charset)) return false;
        } else if (opt == "-z") {
            o.showComment = true;
        } else if (opt == "--json") {
            o.json = true;
        } else if (opt == "--recover") {
            o.recover = true;
        } else {
            error = "unknown option " + opt;
            return false;
        }
    }
    return true;
}

}  // namespace

bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    // Options may also stand before the command (tarrow --recover x ARCHIVE).
    int i = 1;
    if (!parseOptionRun(argc, argv, i, o, error, false)) return false;
    if (i >= argc || std::strlen(argv[i]) != 1 || !std::strchr("ltx", argv[i][0])) {
        error = "missing or unknown command";
        return false;
    }
    o.mode = argv[i++][0];
    if (!parseOptionRun(argc, argv, i, o, error, true)) return false;
    if (o.json && o.mode != 'l') {
        error = "unknown option --json";
        return false;
    }
    if (i >= argc) {
        error = "no archive given";
        return false;
    }
    o.archive = argv[i++];
    for (; i < argc; ++i) o.include.push_back(argv[i]);
    return true;
}

std::vector<std::string> listingFields(const std::string& text, const std::string& archive) {
    if (auto fields = veltrane::ListingMessageFields(text, archive)) return std::move(*fields);
    return veltrane::SplitMessageFields(text, 18);
}

std::string printable(const std::string& text, bool keepLines) {
    return veltrane::text::Printable(text, keepLines, veltrane::text::InvalidBytes::Keep);
}

std::string methodName(int code) {
    switch (code) {
    case 0: return "Stored";
    case 10: return "Shrunk";
    case 20:
    case 30:
    case 40:
    case 50: return "Reduce" + std::to_string(code / 10 - 1);
    case 60: return "Implode";
    case 70: return "Token";
    case 80: return "Defl:N";
    case 81: return "Defl:X";
    case 82: return "Defl:F";
    case 83: return "Defl:S";
    case 90: return "Defl64";
    case 120: return "BZip2";
    case 140: return "LZMA";
    case 200:
    case 930: return "Zstd";
    case 950: return "XZ";
    case 980: return "PPMd";
    default: return "Unknown";
    }
}

std::string listingHeading() {
    return "    Length        Size   Ratio  Date        Time      Method   CRC-32    Name\n"
           "----------  ----------  ------  ----------  --------  -------  --------  ----";
}

std::string listedName(const std::vector<std::string>& f) {
    if (f.size() < 9) return {};
    // A member with the folder attribute comes as its whole name with an empty file part; any other
    // name was split at its last "/".
    bool folderAttribute = std::strtoul(f[8].c_str(), nullptr, 10) & 0x10;
    return folderAttribute || f[1].empty() ? f[1] + f[2] : f[1] + "/" + f[2];
}

// Fields of message 21: archive, folder, file, size, compressed, ratio, date, time, attributes,
// method, encrypted, CRC, binary, made by, needed, extra id, extra size, extra data.
std::string listingRow(const std::vector<std::string>& f) {
    if (f.size() < 13) return "(unreadable listing line)";
    std::string name = printable(listedName(f), false);
    if (f[10] == "1") name += " (encrypted)";
    char row[256];
    std::snprintf(row, sizeof row, "%10s  %10s  %5s%%  %-10s  %-8s  %-7s  %-8s  ", f[3].c_str(), f[4].c_str(),
                  f[5].c_str(), f[6].c_str(), f[7].c_str(), methodName(std::atoi(f[9].c_str())).c_str(), f[11].c_str());
    return row + name;
}

}  // namespace tarrowcli
