// The command-line front end's pieces: options, and the reading of the library's messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarrowcli {

struct Options {
    char mode = 0;  // 'l', 't' or 'x'
    std::string archive;
    std::vector<std::string> include;
    std::vector<std::string> exclude;
    std::string folder;
    std::string password;
    bool hasPassword = false;
    std::string charset;  // -O: code page of names without the UTF-8 flag
    int overwrite = 0;    // 0: the library's default (ask)
    bool update = false;
    bool freshen = false;
    bool junkPaths = false;
    bool showComment = false;
    bool json = false;     // l --json
    bool recover = false;  // --recover: walk the local headers when the central directory fails
};

// Parses argv; false with a message in `error` on a usage error.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);
std::string usage();

// The 18 fields of message 21 (see listingRow) from its text, read as every host reads them (names
// may hold "|"); a text whose fields fit no reading is split at every "|".
std::vector<std::string> listingFields(const std::string& text, const std::string& archive);

// One row of the listing table from the fields of message 21, and the table's heading.
std::string listingHeading();
std::string listingRow(const std::vector<std::string>& fields);
// The member's whole name from the fields of message 21, as stored (not escaped).
std::string listedName(const std::vector<std::string>& fields);
std::string methodName(int code);
// Names and comments as tarrow shows them: control characters as \xNN escapes, so that they can
// neither break the table nor drive the terminal, other bytes kept; keepLines leaves line feeds,
// returns and tabs alone.
std::string printable(const std::string& text, bool keepLines);

}  // namespace tarrowcli
