#include "Gallery.h"

#include "GalleryJson.h"
#include "GalleryPage.h"
#include "PreviewOutput.h"
#include "base/Utf8.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <dirent.h>
#include <fcntl.h>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace veltrane::preview {
using text::Utf8SequenceLength;
namespace {

constexpr const char* kManifestName = "manifest.txt";
constexpr const char* kTextsName = "manifest-texts.txt";
constexpr const char* kPageName = "index.html";
constexpr std::size_t kMaxBaseName = 200;

int64_t Nanoseconds(const struct timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Whether an absolute path has no ".", ".." or empty components, which only normalising removes.
bool IsNormal(const std::string& path) {
    return path.find("//") == std::string::npos && path.find("/./") == std::string::npos &&
           path.find("/../") == std::string::npos && !EndsWith(path, "/.") && !EndsWith(path, "/..");
}

// path made absolute against the working folder cwd (when known) and normalised.
std::string AbsolutePath(const std::string& path, const std::string& cwd) {
    std::string absolute;
    if (!path.empty() && path[0] == '/') absolute = path;
    else if (!cwd.empty()) absolute = cwd + "/" + path;
    std::error_code ec;
    if (absolute.empty()) absolute = fs::absolute(path, ec).string();
    if (!IsNormal(absolute)) absolute = fs::path(absolute).lexically_normal().string();
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

// The names in a folder, with whether each is a regular file (a link is not).
std::unordered_map<std::string, bool> FilesIn(const std::string& folder) {
    std::unordered_map<std::string, bool> files;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return files;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            regular = fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
        }
        files.emplace(name, regular);
    }
    closedir(dir);
    return files;
}

// A regular file's stamp; zero for anything else.
SkinStamp FileStamp(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    return {uint64_t(info.st_size), Nanoseconds(info.st_mtim)};
}

// Whether the texts file holds the body the manifest names (by its first line and size).
bool TextsFileFits(const std::string& path, const GalleryManifest& manifest) {
    if (manifest.textsHash.empty()) return false;
    const std::string head = TextsFileHead(manifest.textsHash);
    std::ifstream in(path, std::ios::binary);
    std::string line;
    return std::getline(in, line) && line + "\n" == head && FileStamp(path).size == head.size() + manifest.textsSize;
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
    // Each file by its name in the open folder: no path to walk again for every one.
    DIR* dir = opendir(source.path.c_str());
    if (dir == nullptr) return stamp;
    while (const dirent* entry = readdir(dir)) {
        if (fstatat(dirfd(dir), entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode)) continue;
        stamp.size += uint64_t(info.st_size);
        stamp.mtime = std::max(stamp.mtime, Nanoseconds(info.st_mtim));
    }
    closedir(dir);
    return stamp;
}

std::vector<SkinStamp> StampsOf(const SkinSourceList& sources) {
    std::vector<SkinStamp> stamps(sources.size());
    // Mostly waiting for the file system: a few threads share the skins.
    const std::size_t count = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    const std::size_t share = (sources.size() + count - 1) / count;
    std::vector<std::thread> threads;
    for (std::size_t start = 0; start < sources.size(); start += share) {
        threads.emplace_back([&, start] {
            for (std::size_t i = start; i < std::min(start + share, sources.size()); ++i)
                stamps[i] = StampOf(sources[i]);
        });
    }
    for (std::thread& thread : threads) thread.join();
    return stamps;
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
    GalleryManifest manifest = ParseManifest(ReadWholeFile(m_folder + kManifestName));
    const bool ours = manifest.version > 0;
    // The page and data of a folder the gallery did not make are someone else's.
    for (const std::string& page : {PagePath(), m_folder + kSkinsJsonName, m_folder + kTextsName}) {
        if (ours || force || !fs::exists(fs::symlink_status(page, ec))) continue;
        error = page + (page == PagePath() ? " is not a gallery's page" : " is not a gallery's data") + " (no " +
                kManifestName + " beside it); give --force to replace it, or choose another folder";
        return false;
    }
    // Skins whose text is lost with a texts file that does not fit are rendered again.
    const bool textsFit = manifest.version < 3 || TextsFileFits(m_folder + kTextsName, manifest);
    // The last record of each skin, by its path.
    std::unordered_map<std::string_view, GalleryRecord*> records;
    records.reserve(manifest.records.size());
    m_lastSkins.reserve(manifest.records.size());
    for (GalleryRecord& r : manifest.records) {
        if (!r.preview.empty()) m_recorded.insert(r.preview);
        if (r.textLength > 0 && (!textsFit || r.textAt + r.textLength > manifest.textsSize)) r.format.clear();
        m_lastSkins.push_back(r.skin);
        records.insert_or_assign(r.skin, &r);
    }

    // Names taken: the previews the manifest keeps for skins still here, and any file in the
    // preview folder the manifest does not name, which is someone else's and never overwritten.
    const std::unordered_map<std::string, bool> files = FilesIn(m_previews);
    std::unordered_set<std::string> taken, seen;
    taken.reserve(files.size() + sources.size());
    seen.reserve(sources.size());
    for (const auto& [name, regular] : files)
        if (!m_recorded.count(name)) taken.insert(FoldedName(name));
    std::vector<bool> named;
    m_skins.reserve(sources.size());
    const std::string cwd = fs::current_path(ec).string();
    const std::vector<SkinStamp> stamps = StampsOf(sources);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        SkinSource source = sources[i];
        std::string path = AbsolutePath(source.path, cwd);
        Skin skin{std::move(source), std::move(path), stamps[i], {}, State::Pending, {}, {}};
        if (!seen.insert(skin.path).second) continue;
        const auto found = records.find(skin.path);
        GalleryRecord* record = found == records.end() ? nullptr : found->second;
        const bool same = record != nullptr && !force && record->stamp == skin.stamp && record->format == m_format;
        if (same && record->preview.empty()) {
            skin.state = State::FailedBefore;
            skin.reason = record->reason;
            skin.facts = std::move(record->facts);
            skin.textAt = record->textAt;
            skin.textLength = record->textLength;
            named.push_back(true);
            m_skins.push_back(std::move(skin));
            continue;
        }
        const bool keepsName =
            record != nullptr && EndsWith(record->preview, m_extension) && !taken.count(FoldedName(record->preview));
        if (keepsName) {
            skin.preview = record->preview;
            taken.insert(FoldedName(skin.preview));
            const auto file = files.find(skin.preview);
            if (same && file != files.end() && file->second) {
                skin.state = State::Unchanged;
                skin.facts = std::move(record->facts);
                skin.textAt = record->textAt;
                skin.textLength = record->textLength;
            }
        }
        named.push_back(keepsName);
        m_skins.push_back(std::move(skin));
    }
    manifest.records.clear();
    m_last = std::move(manifest);
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

bool Gallery::NothingChanged() const {
    if (m_last.version != kManifestVersion || m_last.pageKey != GalleryPageKey() ||
        FileStamp(PagePath()) != m_last.page.stamp || FileStamp(m_folder + kSkinsJsonName) != m_last.data.stamp ||
        m_skins.size() != m_lastSkins.size())
        return false;
    for (std::size_t i = 0; i < m_skins.size(); ++i) {
        const State state = m_skins[i].state;
        if ((state != State::Unchanged && state != State::FailedBefore) || m_skins[i].path != m_lastSkins[i])
            return false;
    }
    return true;
}

void Gallery::ReadKeptTexts() {
    std::string texts;
    for (Skin& skin : m_skins) {
        if ((skin.state != State::Unchanged && skin.state != State::FailedBefore) || skin.textLength == 0) continue;
        // Open checked that the file fits the manifest; it is read once, when first needed.
        if (texts.empty()) texts = ReadWholeFile(m_folder + kTextsName).substr(TextsFileHead(m_last.textsHash).size());
        if (skin.textAt + skin.textLength <= texts.size()) skin.facts.text = texts.substr(skin.textAt, skin.textLength);
    }
}

bool Gallery::WritePageFile(const std::string& file, const std::string& text, WrittenFile& written,
                            std::string& error) {
    const std::string path = m_folder + file;
    const std::string hash = WordHash(text);
    const WrittenFile& last = file == kPageName ? m_last.page : m_last.data;
    if (hash == last.hash && FileStamp(path) == last.stamp) {
        written = last;
        return true;
    }
    if (!WriteFile(path, text, error)) return false;
    written = {FileStamp(path), hash};
    return true;
}

bool Gallery::Write(std::string& error) {
    if (NothingChanged()) return true;
    ReadKeptTexts();
    GalleryManifest manifest;
    std::string texts;
    std::vector<GalleryTile> tiles;
    std::unordered_set<std::string> kept;
    for (Skin& skin : m_skins) {
        const bool shown = skin.state == State::Unchanged || skin.state == State::Rendered;
        if (skin.state != State::Pending) {
            GalleryRecord r{skin.path, skin.stamp,  m_format,     shown ? skin.preview : "",
                            {},        skin.reason, texts.size(), skin.facts.text.size()};
            texts += skin.facts.text;
            std::string text = std::move(skin.facts.text);
            r.facts = skin.facts;
            skin.facts.text = std::move(text);
            manifest.records.push_back(std::move(r));
        }
        if (shown) kept.insert(skin.preview);
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
    manifest.textsHash = WordHash(texts);
    manifest.textsSize = texts.size();
    const std::string textsPath = m_folder + kTextsName;
    if (!(manifest.textsHash == m_last.textsHash && TextsFileFits(textsPath, manifest)) &&
        !WriteFile(textsPath, TextsFileHead(manifest.textsHash) + texts, error))
        return false;
    // The manifest comes before the page files, so that they are known as the gallery's own; it
    // names them once they are written.
    if (!WriteFile(m_folder + kManifestName, FormatManifest(manifest), error)) return false;
    // Previews of ours that show nothing now: the skin is gone, changed format or failed.
    std::unordered_set<std::string> stale = m_recorded;
    for (const Skin& skin : m_skins)
        if (skin.state == State::Failed && !skin.preview.empty()) stale.insert(skin.preview);
    for (const std::string& name : stale)
        if (!kept.count(name)) unlink((m_previews + name).c_str());
    m_recorded = kept;
    const TileList byName = InNameOrder(tiles);
    if (!WritePageFile(kSkinsJsonName, BuildSkinsJson(byName), manifest.data, error) ||
        !WritePageFile(kPageName, BuildGalleryPage(byName, m_extension), manifest.page, error))
        return false;
    manifest.pageKey = GalleryPageKey();
    if (!WriteFile(m_folder + kManifestName, FormatManifest(manifest), error)) return false;
    m_last = std::move(manifest);
    m_lastSkins.clear();
    for (const GalleryRecord& r : m_last.records) m_lastSkins.push_back(r.skin);
    m_last.records.clear();
    return true;
}

}  // namespace veltrane::preview
