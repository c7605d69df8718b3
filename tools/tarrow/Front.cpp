#include "Front.h"

#include "base/Printable.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarrowcli {

std::string usage() {
    return "usage: tarrow l|t|x [options] ARCHIVE [PATTERN...]\n"
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
           "  -z           show the archive comment\n";
}

bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    if (argc < 2 || std::strlen(argv[1]) != 1 || !std::strchr("ltx", argv[1][0])) {
        error = "missing or unknown command";
        return false;
    }
    o.mode = argv[1][0];
    int i = 2;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
        std::string opt = argv[i];
        if (opt == "--") {
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
        } else if (opt == "-z") {
            o.showComment = true;
        } else {
            error = "unknown option " + opt;
            return false;
        }
    }
    if (i >= argc) {
        error = "no archive given";
        return false;
    }
    o.archive = argv[i++];
    for (; i < argc; ++i) o.include.push_back(argv[i]);
    return true;
}

std::vector<std::string> splitFields(const std::string& text, size_t fields) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t bar = fields && out.size() + 1 == fields ? std::string::npos : text.find('|', start);
        if (bar == std::string::npos) {
            out.push_back(text.substr(start));
            break;
        }
        out.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    return out;
}

namespace {

// Where the archive's field ends in a message text: after `archive` when the text starts with it
// and a "|" (its path may hold bars itself), else at the first "|"; npos when there is none.
size_t archiveFieldEnd(const std::string& text, const std::string& archive) {
    if (text.size() > archive.size() && text.compare(0, archive.size(), archive) == 0 && text[archive.size()] == '|')
        return archive.size();
    return text.find('|');
}

}  // namespace

std::vector<std::string> splitAroundName(const std::string& text, const std::string& archive, size_t numbers) {
    const size_t start = archiveFieldEnd(text, archive);
    if (start == std::string::npos) return {text};
    std::vector<std::string> tail;
    size_t end = text.size();
    if (end > start + 1 && text[end - 1] == '|')  // each field ends with a bar
        --end;
    while (tail.size() < numbers) {
        size_t bar = text.rfind('|', end - 1);
        if (bar == std::string::npos || bar <= start) break;
        tail.insert(tail.begin(), text.substr(bar + 1, end - bar - 1));
        end = bar;
    }
    std::vector<std::string> out{text.substr(0, start), text.substr(start + 1, end - start - 1)};
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

namespace {

bool digits(const std::string& field, bool sign = false) {
    size_t start = sign && !field.empty() && field[0] == '-' ? 1 : 0;
    return field.size() > start && field.find_first_not_of("0123456789", start) == std::string::npos;
}

// "1980-01-01" and "00:00:00" as the listing writes them.
bool shaped(const std::string& field, const char* shape) {
    if (field.size() != std::strlen(shape)) return false;
    for (size_t i = 0; i < field.size(); ++i)
        if (shape[i] == '9' ? !std::isdigit(static_cast<unsigned char>(field[i])) : field[i] != shape[i]) return false;
    return true;
}

std::string joinedFrom(const std::vector<std::string>& parts, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to; ++i) out += (i > from ? "|" : "") + parts[i];
    return out;
}

}  // namespace

std::vector<std::string> listingFields(const std::string& text, const std::string& archive) {
    const size_t archiveEnd = archiveFieldEnd(text, archive);
    if (archiveEnd == std::string::npos) return splitFields(text, 18);
    // After the archive: the folder, the file name (which may hold bars), then size, compressed
    // size, ratio, date, time and nine more fields before the extra data.
    const std::vector<std::string> parts = splitFields(text.substr(archiveEnd + 1));
    for (size_t k = 2; k + 13 < parts.size(); ++k) {
        if (!digits(parts[k]) || !digits(parts[k + 1]) || !digits(parts[k + 2], true) ||
            !shaped(parts[k + 3], "9999-99-99") || !shaped(parts[k + 4], "99:99:99"))
            continue;
        std::vector<std::string> out{text.substr(0, archiveEnd), parts[0], joinedFrom(parts, 1, k)};
        out.insert(out.end(), parts.begin() + std::ptrdiff_t(k), parts.begin() + std::ptrdiff_t(k + 14));
        out.push_back(k + 14 < parts.size() ? joinedFrom(parts, k + 14, parts.size()) : "");
        return out;
    }
    return splitFields(text, 18);
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

// Fields of message 21: archive, folder, file, size, compressed, ratio, date, time, attributes,
// method, encrypted, CRC, binary, made by, needed, extra id, extra size, extra data.
std::string listingRow(const std::vector<std::string>& f) {
    if (f.size() < 13) return "(unreadable listing line)";
    // A member with the folder attribute comes as its whole name with an empty file part; any other
    // name was split at its last "/".
    bool folderAttribute = std::strtoul(f[8].c_str(), nullptr, 10) & 0x10;
    std::string name = folderAttribute || f[1].empty() ? f[1] + f[2] : f[1] + "/" + f[2];
    name = printable(name, false);
    if (f[10] == "1") name += " (encrypted)";
    char row[256];
    std::snprintf(row, sizeof row, "%10s  %10s  %5s%%  %-10s  %-8s  %-7s  %-8s  ", f[3].c_str(), f[4].c_str(),
                  f[5].c_str(), f[6].c_str(), f[7].c_str(), methodName(std::atoi(f[9].c_str())).c_str(), f[11].c_str());
    return row + name;
}

std::string errorText(int code) {
    switch (code) {
    case 2: return "no end-of-central-directory record (not a ZIP archive, or truncated)";
    case 3: return "central directory header expected and not found";
    case 4: return "out of memory";
    case 9: return "archive not found";
    case 10: return "archive cannot be opened";
    case 11: return "no member selected or processed";
    case 50: return "output file could not be written completely";
    case 51:
        return "archive damaged: it ended early, could not be read, or the member overlaps another member or the "
               "central directory";
    case 255: return "aborted";
    default: return "error " + std::to_string(code);
    }
}

std::string warningText(int code) {
    switch (code) {
    case 1: return "imploded data is corrupt";
    case 2: return "imploded data is shorter than its stored size";
    case 9: return "output file cannot be created";
    case 11: return "compression method not supported";
    case 12: return "encrypted, and no password given";
    case 13: return "local header missing, unreadable, or declaring more than the central directory";
    case 14: return "wrong password";
    case 15: return "CRC-32 mismatch";
    case 21: return "deflated data is corrupt";
    case 22: return "compressed data is corrupt";
    case 24: return "needs a newer version to extract";
    case 26: return "test found errors";
    case 100: return "archive comment could not be read completely";
    default: return "warning " + std::to_string(code);
    }
}

}  // namespace tarrowcli
