// Spanned archives saved as files instead of disks: NAME.z01, NAME.z02, ... and NAME.zip, the last
// disk. The library reads every disk at one path and asks for the next one by message, so tarrow
// shows it a link at a private path and points that link at the part each request names.
#pragma once

#include <optional>
#include <string>

namespace tarrowcli {

class SplitParts {
public:
    // The set that `archive` closes, when NAME.z01 lies beside it (any letter case); otherwise none.
    static std::optional<SplitParts> detect(const std::string& archive);

    SplitParts(SplitParts&& other) noexcept;
    SplitParts& operator=(SplitParts&&) = delete;
    ~SplitParts();

    // The path to hand the library: a link that starts out at the last part.
    const std::string& libraryPath() const { return m_link; }
    // Points the link at disk `disk` (1-based; 0 is the last disk). False when that part is missing.
    bool insert(int disk);
    int inserted() const { return m_inserted; }

private:
    SplitParts(std::string last, std::string folder);
    std::string partPath(int disk) const;

    std::string m_last;    // NAME.zip as the user named it
    std::string m_folder;  // private folder holding the link
    std::string m_link;
    int m_lastNumber = 0;  // the number the last disk (NAME.zip) has in disk requests
    int m_inserted = 0;
};

}  // namespace tarrowcli
