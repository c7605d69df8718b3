#include "Gallery.h"

#include "GalleryJson.h"
#include "GalleryPage.h"
#include "PreviewOutput.h"
#include "base/Utf8.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace veltrane::preview {
using text::Utf8SequenceLength;
namespace {

constexpr const char* kManifestName = "manifest.txt";
constexpr const char* kPageName = "index.html";
constexpr std::size_t kMaxBaseName = 200;

int64_t Nanoseconds(const struct timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    std::string absolute = fs::absolute(path, ec).lexically_normal().string();
    if (absolute.empty()) absolute = path;
    while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
    return absolute;
}

std::string FormatKey(ImageFormat format, int quality) {
    switch (format) {
    case ImageFormat::Jpeg: return "jpg" + std::to_string(quality);
    case ImageFormat::Png: return "png";
    case ImageFormat::Bmp: break;
    }
    return "bmp";
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool WriteFile(const std::string& path, const std::string& text, std::string& error) {
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    return WritePreviewFile(path, bytes, true, error) == WriteResult::Written;
}

}  // namespace

SkinStamp StampOf(const SkinSource& source) {
    struct stat info {};
    if (stat(source.path.c_str(), &info) != 0) return {};
    SkinStamp stamp{uint64_t(info.st_size), Nanoseconds(info.st_mtim)};
    if (source.kind == SkinSource::Kind::Archive) return stamp;
    stamp.size = 0;
    std::error_code ec;
    for (fs::directory_iterator it(source.path, ec), end; !ec && it != end; it.increment(ec)) {
        if (stat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        stamp.size += uint64_t(info.st_size);
        stamp.mtime = std::max(stamp.mtime, Nanoseconds(info.st_mtim));
    }
    return stamp;
}

std::string PreviewBaseName(const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = Utf8SequenceLength(name, i);
        const unsigned char c = uint8_t(name[i]);
        if (length == 0 || c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr) {
            if (out.size() + 1 > kMaxBaseName) break;
            out += '_';
            i += length == 0 ? 1 : length;
            continue;
        }
        if (out.size() + length > kMaxBaseName) break;
        out.append(name, i, length);
        i += length;
    }
    if (out.empty() || out[0] == '.') out.insert(0, "_");
    return out;
}

std::string FoldedName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return folded;
}

bool Gallery::Open(const std::string& folder, const SkinSourceList& sources, ImageFormat format, int quality,
                   bool force, std::string& error) {
    m_folder = folder.back() == '/' ? folder : folder + "/";
    m_previews = m_folder + kPreviewFolder + "/";
    m_format = FormatKey(format, quality);
    m_extension = PreviewExtension(format);
    std::error_code ec;
    fs::create_directories(m_previews, ec);
    if (!fs::is_directory(m_previews, ec)) {
        error = "cannot create the gallery folder " + m_previews;
        return false;
    }
    const std::string manifestText = ReadWholeFile(m_folder + kManifestName);
    const bool ours = manifestText.rfind(std::string(kManifestFirstLine) + "\n", 0) == 0 ||
                      manifestText.rfind(std::string(kManifestFirstLineWithoutFacts) + "\n", 0) == 0;
    // The page and skins.json of a folder the gallery did not make are someone else's.
    for (const std::string& page : {PagePath(), m_folder + kSkinsJsonName}) {
        if (ours || force || !fs::exists(fs::symlink_status(page, ec))) continue;
        error = page + (page == PagePath() ? " is not a gallery's page" : " is not a gallery's data") + " (no " +
                kManifestName + " beside it); give --force to replace it, or choose another folder";
        return false;
    }
    std::map<std::string, GalleryRecord> records;
    for (GalleryRecord& r : ParseManifest(manifestText)) {
        m_recorded.insert(r.preview);
        std::string key = r.skin;
        records.insert_or_assign(std::move(key), std::move(r));
    }

    // Names taken: the previews the manifest keeps for skins still here, and any file in the
    // preview folder the manifest does not name, which is someone else's and never overwritten.
    std::set<std::string> taken;
    for (fs::directory_iterator it(m_previews, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!m_recorded.count(name)) taken.insert(FoldedName(name));
    }
    std::set<std::string> seen;
    std::vector<bool> named;
    for (const SkinSource& source : sources) {
        Skin skin{source, AbsolutePath(source.path), StampOf(source), {}, State::Pending, {}, {}};
        if (!seen.insert(skin.path).second) continue;
        const auto record = records.find(skin.path);
        const bool keepsName = record != records.end() && EndsWith(record->second.preview, m_extension) &&
                               !taken.count(FoldedName(record->second.preview));
        if (keepsName) {
            skin.preview = record->second.preview;
            taken.insert(FoldedName(skin.preview));
            if (!force && record->second.stamp == skin.stamp && record->second.format == m_format &&
                IsRegularFile(m_previews + skin.preview)) {
                skin.state = State::Unchanged;
                skin.facts = record->second.facts;
            }
        }
        named.push_back(keepsName);
        m_skins.push_back(std::move(skin));
    }
    // The others take the first free name of theirs, in the order given.
    for (std::size_t i = 0; i < m_skins.size(); ++i) {
        if (named[i]) continue;
        const std::string base = PreviewBaseName(m_skins[i].source.name);
        std::string candidate = base + m_extension;
        for (int n = 2; taken.count(FoldedName(candidate)); ++n)
            candidate = base + " (" + std::to_string(n) + ")" + m_extension;
        taken.insert(FoldedName(candidate));
        m_skins[i].preview = candidate;
    }
    return true;
}

std::vector<std::size_t> Gallery::Pending() const {
    std::vector<std::size_t> pending;
    for (std::size_t i = 0; i < m_skins.size(); ++i)
        if (m_skins[i].state == State::Pending) pending.push_back(i);
    return pending;
}

std::string Gallery::PreviewPath(std::size_t i) const { return m_previews + m_skins[i].preview; }

std::string Gallery::PagePath() const { return m_folder + kPageName; }

void Gallery::Record(std::size_t i, bool rendered, const std::string& reason, SkinFacts facts) {
    m_skins[i].state = rendered ? State::Rendered : State::Failed;
    m_skins[i].reason = rendered ? std::string() : reason;
    m_skins[i].facts = std::move(facts);
}

bool Gallery::Write(std::string& error) {
    std::vector<GalleryRecord> records;
    std::vector<GalleryTile> tiles;
    std::set<std::string> kept;
    for (const Skin& skin : m_skins) {
        const bool shown = skin.state == State::Unchanged || skin.state == State::Rendered;
        if (shown) {
            records.push_back({skin.path, skin.stamp, m_format, skin.preview, skin.facts});
            kept.insert(skin.preview);
        }
        std::string reason = skin.reason;
        if (skin.state == State::Pending) reason = "not rendered: the run was interrupted";
        else if (reason.empty() && !shown) reason = "cannot be rendered";
        const SkinFacts& f = skin.facts;
        GalleryTile tile;
        tile.name = skin.source.name;
        tile.path = skin.path;
        tile.time = skin.stamp.mtime / 1000000000;
        tile.preview = shown ? skin.preview : "";
        tile.reason = reason;
        tile.size = f.size ? f.size : skin.stamp.size;
        tile.newest = f.newest;
        tile.text = f.text;
        tile.missing = f.missing;
        tile.tooSmall = f.tooSmall;
        tile.unreadable = f.unreadable;
        tile.cursors = f.cursors;
        tile.numsEx = f.numsEx;
        tile.region = f.region;
        tile.shaped = shown && f.shaped;
        tile.hash = shown ? f.hash : std::string();
        tiles.push_back(std::move(tile));
    }
    if (!WriteFile(m_folder + kManifestName, FormatManifest(records), error)) return false;
    // Previews of ours that show nothing now: the skin is gone, changed format or failed.
    std::set<std::string> stale = m_recorded;
    for (const Skin& skin : m_skins)
        if (skin.state == State::Failed) stale.insert(skin.preview);
    for (const std::string& name : stale)
        if (!kept.count(name)) unlink((m_previews + name).c_str());
    m_recorded = kept;
    const TileList byName = InNameOrder(tiles);
    return WriteFile(m_folder + kSkinsJsonName, BuildSkinsJson(byName), error) &&
           WriteFile(PagePath(), BuildGalleryPage(byName, m_extension), error);
}

}  // namespace veltrane::preview
