// Turns the SKIN arguments into the list of skins to render: a skin folder (it holds a main.bmp)
// stands for itself, an archive (.wsz or .zip) for itself, and any other folder for its skin list
// as the browser shows it: the skin folders inside it, then its .wsz archives, each in name order.
// Walked recursively, such a folder is followed by the skin lists of its subfolders, depth first;
// links to folders are not walked into, nor are skin folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::preview {

struct SkinSource {
    enum class Kind : uint8_t { Folder, Archive };
    Kind kind = Kind::Folder;
    std::string path;  // the folder or archive
    std::string name;  // names the preview file: the folder's name, or the archive's without extension
};

// The skins of a run, kept compact because a collection may hold hundreds of thousands: each
// folder walked is stored once, and each skin as its entry name in one byte arena plus a few
// numbers (about 24 bytes and the name's length). Worker processes inherit it, so what a skin
// costs here every worker pays again.
class SkinSourceList {
public:
    SkinSourceList() = default;
    SkinSourceList(std::initializer_list<SkinSource> sources) {
        for (const SkinSource& source : sources) Add(source);
    }

    std::size_t size() const { return m_skins.size(); }
    bool empty() const { return m_skins.empty(); }
    SkinSource operator[](std::size_t i) const { return {KindOf(i), Path(i), std::string(Name(i))}; }
    SkinSource::Kind KindOf(std::size_t i) const { return m_skins[i].kind; }
    std::string Path(std::size_t i) const;
    std::string_view Name(std::size_t i) const;

    // A skin given by its own path.
    void Add(const SkinSource& source);
    // Skins listed in one folder: AddEntry appends folder + entry, named by the entry (less its
    // four-letter extension for an archive), to the folder last begun.
    void BeginFolder(const std::string& folderWithSlash);
    void AddEntry(SkinSource::Kind kind, std::string_view entry);
    // Gives back the room reserved for growth, once the list is complete.
    void Compact();

    class Iterator {
    public:
        Iterator(const SkinSourceList& list, std::size_t i) : m_list(&list), m_i(i) {}
        SkinSource operator*() const { return (*m_list)[m_i]; }
        Iterator& operator++() {
            ++m_i;
            return *this;
        }
        bool operator==(const Iterator& other) const { return m_i == other.m_i; }

    private:
        const SkinSourceList* m_list;
        std::size_t m_i;
    };
    Iterator begin() const { return {*this, 0}; }
    Iterator end() const { return {*this, size()}; }

private:
    struct Skin {
        uint64_t entry;   // offset of the entry in m_bytes; the name follows it when not part of it
        uint32_t folder;  // index in m_folders
        uint32_t entryLength;
        uint32_t nameLength;
        SkinSource::Kind kind;
        bool nameApart;  // the name is stored after the entry instead of being its start
    };
    std::vector<std::string> m_folders;
    std::string m_bytes;
    std::vector<Skin> m_skins;
};

// True for a path the tool takes as an archive: it ends in ".wsz" or ".zip" in any letter case.
bool IsArchiveArgument(const std::string& path);

// Appends the skins of one argument to out; returns false (with error set) when the argument is
// neither a folder nor an archive, or when a folder of it cannot be listed (the skins of the
// others are still appended).
bool ExpandSkinArgument(const std::string& argument, SkinSourceList& out, std::string& error, bool recursive = false);

}  // namespace veltrane::preview
