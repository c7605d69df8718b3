// tarrow: lists, tests or extracts ZIP archives through the library's C interface, as any host
// would. Messages become readable lines; the library's questions are asked on the terminal.
#include "Front.h"
#include "JsonListing.h"
#include "SplitParts.h"
#include "base/PackageCodes.h"
#include "base/PackageMessages.h"
#include "tarrow.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <set>
#include <string>

using namespace tarrowcli;

namespace {

struct Run {
    char mode = 'l';
    bool showComment = false;
    bool listed = false;
    bool problem = false;
    bool reported = false;     // a member was said to be done
    bool everyMember = false;  // no patterns select members
    bool empty = false;        // the library found no member to list or test
    bool recover = false;      // --recover
    bool recovered = false;    // the library walked the local headers: every member is recovered
    int lastDiskAsked = -1;
    std::string archive;                           // the path the library was given, the first field of its messages
    std::string charset;                           // -O
    std::string crcFailed;                         // the member of the last CRC mismatch, reported done after it
    SplitParts* parts = nullptr;                   // set when the archive is a set of NAME.zNN files
    std::vector<std::string>* selected = nullptr;  // set: listed names are collected, not shown
} g_run;

// One line from the terminal; false at the end of input.
bool askLine(const std::string& question, std::string& answer) {
    std::cerr << question << std::flush;
    return static_cast<bool>(std::getline(std::cin, answer));
}

int16_t askForDisk(const std::vector<std::string>& f) {
    int disk = f.size() > 1 ? std::atoi(f[1].c_str()) : 0;
    if (g_run.parts) {
        switch (g_run.parts->insert(disk)) {
        case SplitParts::Insert::Done: g_run.lastDiskAsked = disk; return 0;
        case SplitParts::Insert::Missing:
            std::cerr << "tarrow: the archive asks for disk " << disk << ", which is not one of its parts\n";
            return TARROW_ANSWER_ABORT;
        case SplitParts::Insert::Repeated:
            std::cerr << "tarrow: the archive asks again for "
                      << (disk == 0 ? std::string("the last disk") : "disk " + std::to_string(disk)) << " ("
                      << printable(g_run.parts->partPath(disk), false) << "), which does not hold what it needs\n";
            return TARROW_ANSWER_ABORT;
        }
    }
    std::string which = disk == 0 ? "the last disk" : "disk " + std::to_string(disk);
    std::string answer;
    if (!askLine("Put " + which + " of the archive at " + f[0] + " and press Enter (q to cancel): ", answer) ||
        answer == "q")
        return TARROW_ANSWER_ABORT;
    g_run.lastDiskAsked = disk;
    return 0;
}

int16_t askOverwrite(const std::vector<std::string>& f) {
    std::string answer;
    std::string path = f.size() > 1 ? f[1] : "";
    if (!askLine("Replace " + path + "? [y]es, [A]ll, [n]o, [N]one: ", answer))
        return TARROW_OVERWRITE_NO;  // nobody to ask: leave the file alone
    if (answer == "y" || answer == "yes") return TARROW_OVERWRITE_YES;
    if (answer == "A") return TARROW_OVERWRITE_YES_TO_ALL;
    if (answer == "N") return TARROW_OVERWRITE_NO_TO_ALL;
    return TARROW_OVERWRITE_NO;
}

// The handle interface's options for what the command line asks.
tarrow_open_options openOptions() {
    tarrow_open_options options{};
    options.size = sizeof options;
    options.flags = g_run.recover ? uint32_t(TARROW_OPEN_RECOVER) : 0u;
    options.name_charset = g_run.charset.empty() ? nullptr : g_run.charset.c_str();
    return options;
}

// The flat interface's code page of names, after Tarrow_Initialise.
void setCharset() {
    if (!g_run.charset.empty()) Tarrow_NameCharset(g_run.charset.c_str());
}

// Which fact of a member its local header gets wrong, as the handle interface tells it; empty when
// it does not (the member is fine there, or the archive spans disks).
std::string localHeaderDetail(const std::string& name) {
    static std::unique_ptr<tarrow_archive, decltype(&tarrow_close)> archive(nullptr, tarrow_close);
    static bool opened = false;
    if (!opened) {
        opened = true;
        tarrow_archive* handle = nullptr;
        const tarrow_open_options options = openOptions();
        if (tarrow_open_with(g_run.archive.c_str(), &options, &handle) == TARROW_OK) archive.reset(handle);
    }
    for (size_t i = 0; archive && i < tarrow_entry_count(archive.get()); ++i) {
        tarrow_entry e{};
        if (tarrow_entry_at(archive.get(), i, &e) == TARROW_OK && e.damage && name == e.name) return e.damage;
    }
    return {};
}

int16_t onMessage(int32_t, int32_t code, const char* text) {
    std::string t = text;
    switch (code) {
    case TARROW_MSG_COMMENT: {
        if (g_run.mode != 'l' && !g_run.showComment) return 0;
        std::vector<std::string> f = veltrane::SplitMessageFields(t, 3);
        std::cout << "Comment of " << f[0] << ":\n" << (f.size() > 2 ? printable(f[2], true) : "") << "\n\n";
        return 0;
    }
    case TARROW_MSG_LISTING:
        if (g_run.selected) {
            g_run.selected->push_back(listedName(listingFields(t, g_run.archive)));
            return 0;
        }
        if (!g_run.listed) std::cout << listingHeading() << "\n";
        g_run.listed = true;
        std::cout << listingRow(listingFields(t, g_run.archive)) << (g_run.recovered ? " (recovered)" : "") << "\n";
        return 0;
    case TARROW_MSG_EXTRACT_DONE:
    case TARROW_MSG_TEST_DONE: {
        // The member's name is followed by seven numbers.
        std::vector<std::string> f = veltrane::SplitAroundName(t, g_run.archive, 7);
        // The library reports a member done once its data decoded, also after its CRC mismatch:
        // that member is not said to be good.
        if (f.size() > 1 && f[1] == g_run.crcFailed) {
            g_run.crcFailed.clear();
            return 0;
        }
        g_run.reported = true;
        std::cout << (code == TARROW_MSG_TEST_DONE ? "  OK  " : "  extracted  ")
                  << (f.size() > 1 ? printable(f[1], false) : "") << (g_run.recovered ? " (recovered)" : "") << "\n";
        return 0;
    }
    case TARROW_MSG_DISK: return askForDisk(veltrane::SplitMessageFields(t));
    case TARROW_MSG_ERROR:
    case TARROW_MSG_WARNING: {
        // Member names may hold "|" and control characters: the code is the last field, and the
        // name is shown escaped, as in the listing.
        std::vector<std::string> f = veltrane::SplitAroundName(t, g_run.archive, 1);
        int value = f.size() > 2 ? std::atoi(f[2].c_str()) : 0;
        // Listing or testing every member of an archive that has none is done, not an error.
        if (code == TARROW_MSG_ERROR && value == TARROW_ERROR_NOTHING_DONE && g_run.everyMember && g_run.mode != 'x' &&
            !g_run.listed && !g_run.problem && !g_run.reported) {
            g_run.empty = true;
            return 0;
        }
        if (code == TARROW_MSG_WARNING && value == TARROW_WARNING_RECOVERED) {
            // Not a fault of the member: the listing and the lines of members done say it.
            if (!g_run.recovered)
                std::cerr << "tarrow: " << printable(g_run.archive, false)
                          << ": the central directory is missing or damaged; members found by walking the local "
                             "headers\n";
            g_run.recovered = true;
            return 0;
        }
        if (code == TARROW_MSG_WARNING && value == TARROW_WARNING_CRC) g_run.crcFailed = f.size() > 1 ? f[1] : "";
        std::string what = code == TARROW_MSG_ERROR ? "error: " + veltrane::PackageErrorText(value)
                                                    : "warning: " + veltrane::PackageWarningText(value);
        if (code == TARROW_MSG_WARNING && value == TARROW_WARNING_LOCAL_HEADER && f.size() > 1)
            if (std::string detail = localHeaderDetail(f[1]); !detail.empty())
                what += " (" + printable(detail, false) + ")";
        std::string file = f.size() > 1 && !f[1].empty() && f[1] != f[0] ? printable(f[1], false) + ": " : "";
        std::cerr << "tarrow: " << file << what << "\n";
        g_run.problem = true;
        return 0;
    }
    case TARROW_MSG_OVERWRITE: return askOverwrite(veltrane::SplitMessageFields(t));
    default: return 0;
    }
}

// A file-based host has no volume labels: the disk at the archive path is the one the user was
// asked for.
int32_t diskLabel(void*, const char*, char* label, uint32_t capacity) {
    std::snprintf(label, capacity, "DISK%03d", g_run.lastDiskAsked);
    return 1;
}

std::string joined(const std::vector<std::string>& patterns) {
    std::string out;
    for (const std::string& p : patterns) out += (out.empty() ? "" : "|") + p;
    return out;
}

// A byte-split set without an end record, or whose end record is cut, may lack its last piece: says
// which piece that would be.
void hintAtLastPiece(const std::string& archive) {
    if (std::string next = pieceAfterLast(archive); !next.empty())
        std::cerr << "tarrow: the pieces of the set hold no end record: is " << printable(next, false) << " missing?\n";
}

// l --json. Patterns select as in the table: the library's listing names the members they select.
int listAsJson(const Options& o) {
    std::multiset<std::string> names;
    if (!o.include.empty() || !o.exclude.empty()) {
        std::vector<std::string> selected;
        g_run.selected = &selected;
        g_run.archive = o.archive;
        Tarrow_Initialise();
        setCharset();
        Tarrow_ArchiveName(o.archive.c_str());
        if (!o.include.empty()) Tarrow_Include(joined(o.include).c_str());
        if (!o.exclude.empty()) Tarrow_Exclude(joined(o.exclude).c_str());
        Tarrow_Recover(o.recover);
        Tarrow_View(1);
        Tarrow();
        g_run.selected = nullptr;
        names.insert(selected.begin(), selected.end());
    }
    auto wanted = [&](const std::string& name) {
        if (o.include.empty() && o.exclude.empty()) return true;
        auto found = names.find(name);
        if (found == names.end()) return false;
        names.erase(found);
        return true;
    };
    std::string error;
    size_t damaged = 0;
    // A pattern that selects nothing was reported by the library's listing. A damaged member
    // fails the listing as it fails the table's, and a test or an extraction.
    if (listJson(o.archive, openOptions(), wanted, std::cout, damaged, error)) return g_run.problem || damaged ? 1 : 0;
    std::cerr << "tarrow: " << printable(error, false) << "\n";
    hintAtLastPiece(o.archive);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::cout << usage();
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        int16_t major = 0, minor = 0;
        Tarrow_GetVersion(&major, &minor);
        std::cout << "tarrow " VELTRANE_VERSION " (libPackage " << major << "." << minor << ")\n";
        return 0;
    }
    Options o;
    std::string error;
    if (!parseOptions(argc, argv, o, error)) {
        std::cerr << "tarrow: " << error << "\n" << usage();
        return 2;
    }
    // The flat setter knows the code pages iconv can read.
    if (!o.charset.empty() && !Tarrow_NameCharset(o.charset.c_str())) {
        std::cerr << "tarrow: unknown code page " << printable(o.charset, false) << " (see iconv --list)\n" << usage();
        return 2;
    }
    g_run.mode = o.mode;
    g_run.showComment = o.showComment;
    g_run.charset = o.charset;
    g_run.recover = o.recover;
    TarrowPlatformHooks hooks{};
    hooks.size = sizeof hooks;
    hooks.volume_label = diskLabel;
    tarrow_platform_set_hooks(&hooks);
    Tarrow_InstallCallback(onMessage);
    if (std::string missing = pieceMissingInside(o.archive); !missing.empty()) {
        std::cerr << "tarrow: " << printable(missing, false) << " is missing: the set has pieces after it\n";
        return 1;
    }
    if (o.json) return listAsJson(o);

    std::string partsError;
    std::optional<SplitParts> parts = SplitParts::detect(o.archive, partsError);
    if (!partsError.empty()) {
        std::cerr << "tarrow: " << printable(partsError, false) << "\n";
        return 1;
    }
    g_run.parts = parts ? &*parts : nullptr;

    Tarrow_Initialise();
    setCharset();
    g_run.archive = parts ? parts->libraryPath() : o.archive;
    Tarrow_ArchiveName(g_run.archive.c_str());
    if (!o.include.empty()) Tarrow_Include(joined(o.include).c_str());
    if (!o.exclude.empty()) Tarrow_Exclude(joined(o.exclude).c_str());
    if (!o.folder.empty()) Tarrow_ExtractTo(o.folder.c_str());
    if (o.hasPassword) Tarrow_Decrypt(o.password.c_str());
    if (o.overwrite) Tarrow_Overwrite(o.overwrite);
    Tarrow_Update(o.update);
    Tarrow_Freshen(o.freshen);
    Tarrow_RestoreStructure(!o.junkPaths);
    Tarrow_RestorePermissions(o.mode == 'x');
    Tarrow_Recover(o.recover);
    Tarrow_View(o.mode == 'l');
    Tarrow_Test(o.mode == 't');

    g_run.everyMember = o.include.empty() && o.exclude.empty();
    int32_t result = Tarrow();
    if (Tarrow_GetLastError() == TARROW_ERROR_NO_END_RECORD || Tarrow_GetLastError() == TARROW_ERROR_READ)
        hintAtLastPiece(o.archive);
    if (o.mode == 'l' && g_run.listed) std::cout << result << (result == 1 ? " member\n" : " members\n");
    if (g_run.empty && !g_run.problem) {
        std::cout << "0 members\n";
        return 0;
    }
    if (result < 0) {
        std::cerr << "tarrow: no archive given\n";
        return 1;
    }
    // A recovered member is no fault by itself: a recovered archive whose members are all whole succeeds.
    const int16_t warning = Tarrow_GetLastWarning();
    return (Tarrow_GetLastError() || (warning && warning != TARROW_WARNING_RECOVERED) || g_run.problem) ? 1 : 0;
}
