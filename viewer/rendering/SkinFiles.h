// Where the windows read a skin's files from when they load it: a skin folder on disk, or the
// files of a skin folder held elsewhere (the batch tool reads them straight out of an archive in
// memory). Either way a name is looked up as on the case-insensitive file systems skins come
// from: the exact name first, else the first entry in byte order that matches without regard to
// ASCII case, so both sources give the same answers for the same folder.
#pragma once

#include "platform/CaseLookup.h"
#include "platform/Dib.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltrane {

// The largest bitmap a skin slot takes: 1 Mi pixels (1024 x 1024). The windows copy at most
// 344 x 433 pixels out of any slot, and the largest real skin bitmap we know has 124 K pixels; at
// this bound the thirteen slots of a skin hold at most 52 MiB even at 32 bits a pixel. A larger
// bitmap counts as unreadable, so its slot keeps what it held; the header tells before decoding.
inline constexpr int64_t kSkinBitmapMaxPixels = int64_t(1) << 20;

class SkinFiles {
public:
    virtual ~SkinFiles() = default;
    // True when name resolves to a regular file.
    virtual bool HasFile(const std::string& name) const = 0;
    // Decodes the named BMP file into slot; false, with slot unchanged, when the file is missing
    // or not a readable bitmap of at most kSkinBitmapMaxPixels.
    virtual bool LoadBitmap(const std::string& name, Dib& slot) const = 0;
    // The named file's text (at most the profile reader's size bound); nullopt when it is not a
    // regular file.
    virtual std::optional<std::string> ReadText(const std::string& name) const = 0;
};

// A skin folder on disk, listed once.
class SkinFolderFiles : public SkinFiles {
public:
    explicit SkinFolderFiles(const std::string& folder) : m_folder(folder) {}
    bool HasFile(const std::string& name) const override;
    bool LoadBitmap(const std::string& name, Dib& slot) const override;
    std::optional<std::string> ReadText(const std::string& name) const override;

private:
    CaseInsensitiveFolder m_folder;
};

// The entries of one skin folder held elsewhere, with a reader that yields a file's bytes when a
// load asks for it, so only the files the windows look up are ever read.
class SkinMemberFiles : public SkinFiles {
public:
    struct Entry {
        std::string name;     // within the folder, no "/"
        bool folder = false;  // a subfolder: it resolves, but holds no file
        uint64_t size = 0;    // the file's size, known before it is read
    };
    // The bytes of entry index, valid until the next call; nullopt when they cannot be read.
    using Reader = std::function<std::optional<std::span<const uint8_t>>(std::size_t index)>;

    SkinMemberFiles(std::vector<Entry> entries, Reader reader);
    bool HasFile(const std::string& name) const override;
    bool LoadBitmap(const std::string& name, Dib& slot) const override;
    std::optional<std::string> ReadText(const std::string& name) const override;

private:
    // The index of the regular file name resolves to; nullopt for a folder or no match.
    std::optional<std::size_t> FileFor(const std::string& name) const;

    std::vector<Entry> m_entries;
    std::vector<std::size_t> m_order;  // entries by name, in byte order
    Reader m_reader;
};

}  // namespace veltrane
