#include "rendering/SkinFiles.h"

#include "platform/Picture.h"
#include "platform/Profile.h"

#include <algorithm>
#include <numeric>
#include <sys/stat.h>

namespace veltrane {

bool SkinFolderFiles::HasFile(const std::string& name) const {
    struct stat info {};
    return ::stat(m_folder.Resolve(name).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool SkinFolderFiles::LoadBitmap(const std::string& name, Dib& slot) const {
    return LoadPicture(m_folder.Resolve(name), slot, kSkinBitmapMaxPixels);
}

std::optional<std::string> SkinFolderFiles::ReadText(const std::string& name) const {
    return ReadProfileText(m_folder.Resolve(name));
}

SkinMemberFiles::SkinMemberFiles(std::vector<Entry> entries, Reader reader)
    : m_entries(std::move(entries)), m_order(m_entries.size()), m_reader(std::move(reader)) {
    std::iota(m_order.begin(), m_order.end(), std::size_t(0));
    std::sort(m_order.begin(), m_order.end(),
              [&](std::size_t a, std::size_t b) { return m_entries[a].name < m_entries[b].name; });
}

std::optional<std::size_t> SkinMemberFiles::FileFor(const std::string& name) const {
    if (name.empty()) return std::nullopt;
    const auto byName = [&](std::size_t i, const std::string& n) { return m_entries[i].name < n; };
    auto match = std::lower_bound(m_order.begin(), m_order.end(), name, byName);
    if (match == m_order.end() || m_entries[*match].name != name)
        match = std::find_if(m_order.begin(), m_order.end(),
                             [&](std::size_t i) { return EqualIgnoringAsciiCase(m_entries[i].name, name); });
    if (match == m_order.end() || m_entries[*match].folder) return std::nullopt;
    return *match;
}

bool SkinMemberFiles::HasFile(const std::string& name) const { return FileFor(name).has_value(); }

bool SkinMemberFiles::LoadBitmap(const std::string& name, Dib& slot) const {
    const std::optional<std::size_t> index = FileFor(name);
    // The bounds LoadPicture checks on the file's size, before anything is read.
    if (!index || m_entries[*index].size == 0 || m_entries[*index].size > MaxPictureFileSize(kSkinBitmapMaxPixels))
        return false;
    const auto bytes = m_reader(*index);
    return bytes && LoadPictureFile(*bytes, slot, kSkinBitmapMaxPixels);
}

std::optional<std::string> SkinMemberFiles::ReadText(const std::string& name) const {
    const std::optional<std::size_t> index = FileFor(name);
    if (!index) return std::nullopt;
    const auto bytes = m_reader(*index);
    if (!bytes) return std::nullopt;
    const std::size_t kept = std::min(bytes->size(), kMaxProfileBytes);
    return std::string(reinterpret_cast<const char*>(bytes->data()), kept);
}

}  // namespace veltrane
