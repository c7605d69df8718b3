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
    int overwrite = 0;  // 0: the library's default (ask)
    bool update = false;
    bool freshen = false;
    bool junkPaths = false;
    bool showComment = false;
};

// Parses argv; false with a message in `error` on a usage error.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);
std::string usage();

// Splits a message text at "|"; the last field keeps any "|" it holds when `fields` is given.
std::vector<std::string> splitFields(const std::string& text, size_t fields = 0);

// Fields of a message that starts with the archive's path and ends with `numbers` fields of digits:
// {archive, name, numbers...}, the name between them keeping any "|" it holds; a bar that ends the
// text ends its last field. The archive is taken to end where `archive` does when the text starts
// with it and a "|", else at the first "|".
std::vector<std::string> splitAroundName(const std::string& text, const std::string& archive, size_t numbers);

// The 18 fields of message 21 (see listingRow) from its text, for names that hold "|" too: the
// numbers are found by their form after the name, and a name split into folder and file at a "|"
// it holds itself is taken to be split at its first. Fewer fields when the text has no such numbers.
std::vector<std::string> listingFields(const std::string& text, const std::string& archive);

// One row of the listing table from the fields of message 21, and the table's heading.
std::string listingHeading();
std::string listingRow(const std::vector<std::string>& fields);
std::string methodName(int code);
// Names and comments as tarrow shows them: control characters as \xNN escapes, so that they can
// neither break the table nor drive the terminal, other bytes kept; keepLines leaves line feeds,
// returns and tabs alone.
std::string printable(const std::string& text, bool keepLines);

// Readable text of an error or warning code.
std::string errorText(int code);
std::string warningText(int code);

}  // namespace tarrowcli
