#include "InMemorySkin.h"

#include "SkinFacts.h"
#include "SkinRender.h"

#include "platform/FileHandling.h"
#include "archive/SkinBudget.h"
#include "archive/SkinFolder.h"
#include "archive/SkinUnpack.h"
#include "base/MemberPath.h"
#include "platform/CaseLookup.h"
#include "rendering/SkinPreview.h"
#include "tarrow.h"

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrane::preview {
namespace {

constexpr std::size_t kNoMember = SIZE_MAX;

// The unpacked tree as a case-insensitive file system holds it.
struct Node {
    std::string name;
    bool folder = true;
    std::size_t member = kNoMember;
    uint64_t size = 0;
    std::vector<std::unique_ptr<Node>> children;

    Node* Child(const std::string& wanted) const {
        for (const auto& child : children)
            if (EqualIgnoringAsciiCase(child->name, wanted)) return child.get();
        return nullptr;
    }
    Node* Add(const std::string& childName, bool isFolder) {
        children.push_back(std::make_unique<Node>());
        Node* child = children.back().get();
        child->name = childName;
        child->folder = isFolder;
        return child;
    }
};

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Where extraction writes the entry, and whether it makes a folder there.
std::string PathOf(const tarrow_entry& entry, bool& folder) {
    std::string path = SafeRelativePath(entry.name, folder);
    folder = folder || (entry.flags & TARROW_ENTRY_FOLDER);
    return path;
}

bool IsFolder(const tarrow_entry& entry) {
    bool folder = false;
    PathOf(entry, folder);
    return folder;
}

// Places one member as the extraction does: at the path it writes the member to, missing folders
// made on the way, a file replacing the file of the same name in any case. False when a path part is
// taken by the other kind of entry.
bool Place(Node& root, const tarrow_entry& member, std::size_t index) {
    bool memberFolder = false;
    const std::vector<std::string> parts = Components(PathOf(member, memberFolder));
    if (parts.empty()) return true;
    Node* at = &root;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const bool folder = !last || memberFolder;
        Node* child = at->Child(parts[i]);
        if (!child) child = at->Add(parts[i], folder);
        else if (child->folder != folder) return false;
        if (!folder) {
            child->member = index;
            child->size = member.size;
        }
        at = child;
    }
    return true;
}

std::vector<const Node*> FoldersInNameOrder(const Node& node) {
    std::vector<const Node*> folders;
    for (const auto& child : node.children)
        if (child->folder) folders.push_back(child.get());
    std::sort(folders.begin(), folders.end(), [](const Node* a, const Node* b) { return NameOrder(a->name, b->name); });
    return folders;
}

// The files below node as a listing of the unpacked tree would give them: subfolders last to
// first in name order, each with everything below it, then the folder's own files.
void ListFiles(const Node& node, const std::string& prefix, std::vector<std::string>& out) {
    const std::vector<const Node*> folders = FoldersInNameOrder(node);
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) ListFiles(**it, prefix + (*it)->name + "/", out);
    for (const auto& child : node.children)
        if (!child->folder) out.push_back(prefix + child->name);
}

// The node of a folder path ("a/b/") that the tree holds.
const Node* FolderAt(const Node& root, const std::string& path) {
    const Node* at = &root;
    for (const std::string& part : Components(path)) at = at->Child(part);
    return at;
}

// The archive's bytes, mapped read-only for as long as the skin is rendered.
class MappedFile {
public:
    explicit MappedFile(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
            m_opened = true;
            m_size = std::size_t(info.st_size);
            if (m_size > 0) {
                void* data = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
                if (data == MAP_FAILED) m_opened = false, m_size = 0;
                else m_data = static_cast<const uint8_t*>(data);
            }
        }
        ::close(fd);
    }
    ~MappedFile() {
        if (m_data) ::munmap(const_cast<uint8_t*>(m_data), m_size);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    bool Opened() const { return m_opened; }
    std::span<const uint8_t> Bytes() const { return {m_data, m_size}; }

private:
    const uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    bool m_opened = false;
};

// One member's bytes at a time, read through the handle interface into a buffer that is reused.
class MemberReader {
public:
    MemberReader(tarrow_archive* archive, const std::vector<tarrow_entry>& entries)
        : m_archive(archive), m_entries(entries) {}
    // The member's bytes, valid until the next call; nullopt, with code set, when they do not read
    // cleanly (the library checks their size and CRC-32 at the end).
    std::optional<std::span<const uint8_t>> Read(std::size_t index, int& code) {
        m_buffer.clear();
        m_limit = m_entries[index].size;
        m_buffer.reserve(std::size_t(m_limit));  // the skin budget bounds every declared size
        code = tarrow_read(m_archive, index, nullptr, &MemberReader::Append, this);
        if (code != TARROW_OK) return std::nullopt;
        return std::span<const uint8_t>(m_buffer);
    }

private:
    static int Append(void* user, const void* data, std::size_t size) {
        auto* self = static_cast<MemberReader*>(user);
        if (size > self->m_limit - self->m_buffer.size()) return 1;  // more than the entry lists
        const auto* bytes = static_cast<const uint8_t*>(data);
        self->m_buffer.insert(self->m_buffer.end(), bytes, bytes + size);
        return 0;
    }

    tarrow_archive* m_archive;
    const std::vector<tarrow_entry>& m_entries;
    std::vector<uint8_t> m_buffer;
    uint64_t m_limit = 0;
};

// The texts, cursors and newest time of the whole archive: a readme often lies beside the skin's
// folder rather than in it.
void DescribeArchive(const std::vector<tarrow_entry>& entries, MemberReader& reader, SkinFacts& facts) {
    SkinTextCollector texts;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const tarrow_entry& entry = entries[i];
        if (IsFolder(entry)) continue;
        facts.newest = std::max(facts.newest, entry.mtime);  // the time unpacking sets
        facts.cursors = facts.cursors || IsCursorName(entry.name);
        if (!texts.WantsMore() || !IsSkinTextName(entry.name) || entry.size > kMaxTextFileSize) continue;
        int code = 0;
        if (const auto bytes = reader.Read(i, code)) texts.Add(*bytes);
    }
    facts.text = texts.Take();
}

// The catalogue of an opened archive: every entry, as the handle interface reports it.
std::vector<tarrow_entry> EntriesOf(const tarrow_archive* archive) {
    std::vector<tarrow_entry> entries(tarrow_entry_count(archive));
    for (std::size_t i = 0; i < entries.size(); ++i) tarrow_entry_at(archive, i, &entries[i]);
    return entries;
}

// Why the archive's catalogue alone fails the skin, as the unpacking would fail it: a member the
// library reports damaged (a method it cannot decode, headers that disagree), or no file at all.
std::optional<std::string> CatalogueFailure(const std::vector<tarrow_entry>& entries) {
    bool anyFile = false;
    for (const tarrow_entry& entry : entries) {
        if (entry.damage) return MemberFailure(std::string(entry.name) + ": " + entry.damage);
        anyFile = anyFile || !IsFolder(entry);
    }
    if (!anyFile) return UnpackFailure(TARROW_ERROR_NOTHING_DONE, 0);
    return std::nullopt;
}

}  // namespace

ArchiveSkinFolder FindArchiveSkinFolder(const std::vector<tarrow_entry>& members) {
    ArchiveSkinFolder result;
    Node root;
    for (std::size_t i = 0; i < members.size(); ++i)
        if (!Place(root, members[i], i)) result.conflict = true;
    std::vector<std::string> files;
    ListFiles(root, "", files);
    result.folder = SkinFolderOf(files).value_or("");
    const Node* folder = FolderAt(root, result.folder);
    for (const auto& child : folder->children) {
        result.entries.push_back({child->name, child->folder, child->size});
        result.members.push_back(child->folder ? kNoMember : child->member);
    }
    return result;
}

bool RenderArchiveInMemory(const std::string& path, Dib& canvas, std::string& error, SkinFacts* facts) {
    const MappedFile file(path);
    if (!file.Opened()) {
        error = UnpackFailure(TARROW_ERROR_NO_ARCHIVE, 0);
        return false;
    }
    if (facts) facts->size = file.Bytes().size();
    tarrow_archive* opened = nullptr;
    const uint8_t* data = file.Bytes().data();
    // A skin whose end record is missing (an interrupted download) is read by walking its local
    // headers: what lies before the cut shows.
    const tarrow_open_options options{sizeof options, TARROW_OPEN_RECOVER, nullptr};
    if (const int code = tarrow_open_memory_with(data ? data : reinterpret_cast<const uint8_t*>(""),
                                                 file.Bytes().size(), &options, &opened)) {
        error = ArchiveFailure(tarrow_strerror(code));
        return false;
    }
    const std::unique_ptr<tarrow_archive, void (*)(tarrow_archive*)> archive(opened, tarrow_close);
    std::vector<tarrow_entry> entries = EntriesOf(opened);
    // The member the cut ends in is the last one found: it is left out, as if the download had
    // stopped before it.
    if (!entries.empty() && (entries.back().flags & TARROW_ENTRY_RECOVERED) && entries.back().damage)
        entries.pop_back();
    // The budget first: nothing is decoded for an archive that declares more than a skin may hold.
    std::vector<SkinArchiveEntry> declared;
    declared.reserve(entries.size());
    for (const tarrow_entry& entry : entries) declared.push_back({entry.name, entry.size});
    const SkinBudgetVerdict verdict = CheckSkinBudget(declared);
    if (!verdict.withinBudget) {
        error = "refused: the archive " + verdict.reason;
        return false;
    }
    if (const auto failure = CatalogueFailure(entries)) {
        error = *failure;
        return false;
    }
    MemberReader reader(opened, entries);
    if (facts) DescribeArchive(entries, reader, *facts);
    ArchiveSkinFolder skin = FindArchiveSkinFolder(entries);
    if (skin.conflict) {
        error = UnpackFailure(0, TARROW_WARNING_CANNOT_CREATE);
        return false;
    }

    // The first member that fails to read fails the skin, as a warning of the unpacking would.
    int failure = TARROW_OK;
    std::size_t lastRead = kNoMember;
    std::span<const uint8_t> lastBytes;
    const std::vector<std::size_t> members = std::move(skin.members);
    const SkinMemberFiles files(std::move(skin.entries),
                                [&](std::size_t index) -> std::optional<std::span<const uint8_t>> {
                                    const std::size_t member = members[index];
                                    // main.bmp is read to check the skin and again to load it: decoded once.
                                    if (member == lastRead) return lastBytes;
                                    int code = TARROW_OK;
                                    const auto bytes = reader.Read(member, code);
                                    if (!bytes) {
                                        if (failure == TARROW_OK) failure = code;
                                        lastRead = kNoMember;
                                        return std::nullopt;
                                    }
                                    lastRead = member;
                                    lastBytes = *bytes;
                                    return bytes;
                                });
    const RecordingSkinFiles recorder(files);
    const auto failed = [&] { return failure != TARROW_OK; };

    if (!files.HasFile("main.bmp")) {
        error = "no main.bmp in the skin";
        return false;
    }
    Dib scratch;
    if (!recorder.LoadBitmap("main.bmp", scratch)) {
        error = failed() ? MemberFailure(tarrow_strerror(failure)) : "main.bmp is not a readable bitmap";
        return false;
    }
    canvas = RenderSkinPreview(recorder);
    if (facts) recorder.Describe(*facts);
    if (failed()) {
        error = MemberFailure(tarrow_strerror(failure));
        return false;
    }
    return true;
}

}  // namespace veltrane::preview
