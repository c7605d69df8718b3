#include "SplitParts.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits.h>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tarrowcli {
namespace {

// The private folder and its link, for a signal that ends the run (Ctrl-C at a question, a kill)
// to remove before the program ends as that signal would have ended it.
char g_link[PATH_MAX];
char g_folder[PATH_MAX];
volatile sig_atomic_t g_armed = 0;

void removeOnSignal(int signal) {
    if (g_armed) {
        ::unlink(g_link);
        ::rmdir(g_folder);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void armSignals(const std::string& link, const std::string& folder) {
    if (link.size() >= sizeof g_link || folder.size() >= sizeof g_folder) return;
    std::memcpy(g_link, link.c_str(), link.size() + 1);
    std::memcpy(g_folder, folder.c_str(), folder.size() + 1);
    g_armed = 1;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {
        }, previous{};
        sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN)  // left ignored, as the caller wanted
            continue;
        action.sa_handler = removeOnSignal;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

// NAME + prefix + NN beside `last` (NAME.ext), the extension in either letter case; empty when missing.
std::string sibling(const fs::path& last, const std::string& prefix, int number) {
    char lower[16], upper[16];
    std::snprintf(lower, sizeof lower, "%s%02d", prefix.c_str(), number);
    for (size_t i = 0;; ++i) {
        upper[i] = char(std::toupper(static_cast<unsigned char>(lower[i])));
        if (!lower[i]) break;
    }
    for (const char* extension : {lower, upper}) {
        fs::path path = last;
        path.replace_extension(extension);
        std::error_code ec;
        if (fs::is_regular_file(path, ec)) return path.string();
    }
    return {};
}

std::string lowered(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The prefix of a numbered part's extension (".z" of ".z01", ".zx" of ".zx01"); empty for others.
std::string partPrefixOf(const fs::path& path) {
    const std::string extension = lowered(path.extension().string());
    for (const char* prefix : {".zx", ".z"}) {
        const size_t length = std::strlen(prefix);
        if (extension.size() > length + 1 && extension.compare(0, length, prefix) == 0 &&
            extension.find_first_not_of("0123456789", length) == std::string::npos)
            return prefix;
    }
    return {};
}

// The last part of the set a numbered part with `prefix` belongs to: NAME.zip or NAME.zipx.
std::string lastPartBeside(const fs::path& part, const std::string& prefix) {
    const bool zipx = prefix == ".zx";
    for (const char* extension : {zipx ? ".zipx" : ".zip", zipx ? ".ZIPX" : ".ZIP"}) {
        fs::path path = part;
        path.replace_extension(extension);
        std::error_code ec;
        if (fs::is_regular_file(path, ec)) return path.string();
    }
    return {};
}

std::string folderPrefix() { return "tarrow-parts-" + std::to_string(getpid()) + "-"; }

}  // namespace

std::optional<SplitParts> SplitParts::detect(const std::string& archive, std::string& error) {
    std::error_code ec;
    if (!fs::is_regular_file(archive, ec)) return std::nullopt;
    std::string last = archive, prefix = partPrefixOf(archive);
    if (!prefix.empty()) {
        last = lastPartBeside(archive, prefix);
        if (last.empty()) {
            fs::path wanted = archive;
            const bool upper = std::isupper(static_cast<unsigned char>(wanted.extension().string()[1]));
            wanted.replace_extension(prefix == ".zx" ? (upper ? ".ZIPX" : ".zipx") : (upper ? ".ZIP" : ".zip"));
            error =
                archive + " is a part of a split archive whose last part " + wanted.filename().string() + " is missing";
            return std::nullopt;
        }
    } else if (!sibling(archive, ".z", 1).empty()) {
        prefix = ".z";
    } else if (!sibling(archive, ".zx", 1).empty()) {
        prefix = ".zx";
    } else {
        return std::nullopt;
    }
    fs::path temp = fs::temp_directory_path(ec);
    if (ec) temp.clear();
    sweepStaleFolders(temp.string());
    std::string folder = (temp / (folderPrefix() + "XXXXXX")).string();
    if (temp.empty() || !mkdtemp(folder.data())) {
        error = "cannot make a private folder for the parts of " + last;
        return std::nullopt;
    }
    SplitParts parts(fs::absolute(last, ec).string(), prefix, folder);
    armSignals(parts.m_link, parts.m_folder);
    if (parts.insert(0) != Insert::Done) {
        error = "cannot link the last part " + last;
        return std::nullopt;
    }
    return parts;
}

SplitParts::SplitParts(std::string last, std::string partPrefix, std::string folder)
    : m_last(std::move(last)),
      m_partPrefix(std::move(partPrefix)),
      m_folder(std::move(folder)),
      m_link((fs::path(m_folder) / fs::path(m_last).filename()).string()) {
    // The last disk is numbered one past the highest part beside it.
    for (int n = 1; n < 100; ++n)
        if (!sibling(m_last, m_partPrefix, n).empty()) m_lastNumber = n + 1;
}

SplitParts::SplitParts(SplitParts&& other) noexcept
    : m_last(std::move(other.m_last)),
      m_partPrefix(std::move(other.m_partPrefix)),
      m_folder(std::move(other.m_folder)),
      m_link(std::move(other.m_link)),
      m_linked(std::move(other.m_linked)),
      m_lastNumber(other.m_lastNumber) {
    other.m_folder.clear();
}

SplitParts::~SplitParts() {
    if (m_folder.empty()) return;
    g_armed = 0;
    std::error_code ec;
    fs::remove(m_link, ec);
    fs::remove(m_folder, ec);
}

std::string SplitParts::partPath(int disk) const {
    if (disk == 0 || disk == m_lastNumber) return m_last;
    return disk > 0 && disk < m_lastNumber ? sibling(m_last, m_partPrefix, disk) : std::string();
}

SplitParts::Insert SplitParts::insert(int disk) {
    const std::string part = partPath(disk);
    if (part.empty()) return Insert::Missing;
    if (part == m_linked) return Insert::Repeated;
    std::error_code ec;
    fs::remove(m_link, ec);
    fs::create_symlink(part, m_link, ec);
    if (ec) return Insert::Missing;
    m_linked = part;
    return Insert::Done;
}

void sweepStaleFolders(const std::string& temp) {
    if (temp.empty()) return;
    std::error_code ec;
    for (fs::directory_iterator it(temp, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        constexpr std::string_view kPrefix = "tarrow-parts-";
        if (name.compare(0, kPrefix.size(), kPrefix) != 0) continue;
        char* after = nullptr;
        const long pid = std::strtol(name.c_str() + kPrefix.size(), &after, 10);
        struct stat status {};
        if (pid <= 0 || *after != '-' || pid == getpid() || ::lstat(it->path().c_str(), &status) != 0 ||
            !S_ISDIR(status.st_mode) || status.st_uid != getuid())
            continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;  // its run goes on
        // Only the link is removed: a folder holding anything else is not one of ours.
        std::error_code inner;
        for (fs::directory_iterator entry(it->path(), inner), last; !inner && entry != last; entry.increment(inner))
            if (entry->is_symlink(inner)) ::unlink(entry->path().c_str());
        ::rmdir(it->path().c_str());
    }
}

}  // namespace tarrowcli

namespace tarrowcli {
namespace {

bool isFirstPiece(const std::string& path) { return path.size() > 4 && path.compare(path.size() - 4, 4, ".001") == 0; }

std::string piece(const std::string& firstPiece, size_t n) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%03zu", n);
    return firstPiece.substr(0, firstPiece.size() - 3) + digits;
}

// The number of the first piece after the first one that is not a file (at most the library's
// limit of pieces, plus one).
size_t firstAbsent(const std::string& firstPiece) {
    size_t n = 2;
    std::error_code ec;
    while (n <= 65537 && fs::is_regular_file(piece(firstPiece, n), ec)) ++n;
    return n;
}

}  // namespace

std::string pieceMissingInside(const std::string& firstPiece) {
    if (!isFirstPiece(firstPiece)) return {};
    const size_t absent = firstAbsent(firstPiece);
    std::error_code ec;
    return fs::exists(piece(firstPiece, absent + 1), ec) ? piece(firstPiece, absent) : std::string();
}

std::string pieceAfterLast(const std::string& firstPiece) {
    return isFirstPiece(firstPiece) ? piece(firstPiece, firstAbsent(firstPiece)) : std::string();
}

}  // namespace tarrowcli
