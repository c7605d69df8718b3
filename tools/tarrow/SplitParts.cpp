#include "SplitParts.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits.h>
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

// NAME.zNN beside the last part, with the extension in either letter case; empty when missing.
std::string sibling(const fs::path& last, int number) {
    char lower[8], upper[8];
    std::snprintf(lower, sizeof lower, ".z%02d", number);
    std::snprintf(upper, sizeof upper, ".Z%02d", number);
    for (const char* extension : {lower, upper}) {
        fs::path path = last;
        path.replace_extension(extension);
        std::error_code ec;
        if (fs::is_regular_file(path, ec)) return path.string();
    }
    return {};
}

}  // namespace

std::optional<SplitParts> SplitParts::detect(const std::string& archive) {
    std::error_code ec;
    if (!fs::is_regular_file(archive, ec) || sibling(archive, 1).empty()) return std::nullopt;
    std::string folder = (fs::temp_directory_path(ec) / "tarrow-parts-XXXXXX").string();
    if (ec || !mkdtemp(folder.data())) return std::nullopt;
    SplitParts parts(fs::absolute(archive, ec).string(), folder);
    armSignals(parts.m_link, parts.m_folder);
    if (!parts.insert(0)) return std::nullopt;
    return parts;
}

SplitParts::SplitParts(std::string last, std::string folder)
    : m_last(std::move(last)),
      m_folder(std::move(folder)),
      m_link((fs::path(m_folder) / fs::path(m_last).filename()).string()) {
    // The last disk is numbered one past the highest part beside it.
    for (int n = 1; n < 100; ++n)
        if (!sibling(m_last, n).empty()) m_lastNumber = n + 1;
}

SplitParts::SplitParts(SplitParts&& other) noexcept
    : m_last(std::move(other.m_last)),
      m_folder(std::move(other.m_folder)),
      m_link(std::move(other.m_link)),
      m_lastNumber(other.m_lastNumber),
      m_inserted(other.m_inserted) {
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
    return disk > 0 && disk < m_lastNumber ? sibling(m_last, disk) : std::string();
}

bool SplitParts::insert(int disk) {
    const std::string part = partPath(disk);
    if (part.empty()) return false;
    std::error_code ec;
    fs::remove(m_link, ec);
    fs::create_symlink(part, m_link, ec);
    if (ec) return false;
    m_inserted = disk;
    return true;
}

}  // namespace tarrowcli
