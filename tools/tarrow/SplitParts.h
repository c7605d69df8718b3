// Spanned archives saved as files instead of disks: NAME.z01, NAME.z02, ... and NAME.zip, the last
// disk (or NAME.zx01, ... and NAME.zipx). The library reads every disk at one path and asks for the
// next one by message, so tarrow shows it a link at a private path and points that link at the part
// each request names.
#pragma once

#include <optional>
#include <string>

namespace tarrowcli {

class SplitParts {
public:
    // The set that `archive` belongs to: `archive` is its last part with NAME.z01 (or NAME.zx01)
    // beside it, or one of its numbered parts. None when it is neither; none with `error` set when
    // it is a numbered part whose last part is missing, or the link cannot be made.
    static std::optional<SplitParts> detect(const std::string& archive, std::string& error);

    SplitParts(SplitParts&& other) noexcept;
    SplitParts& operator=(SplitParts&&) = delete;
    ~SplitParts();

    // The path to hand the library: a link that starts out at the last part.
    const std::string& libraryPath() const { return m_link; }

    enum class Insert { Done, Missing, Repeated };
    // Points the link at disk `disk` (1-based; 0 is the last disk). Missing when there is no such
    // part; Repeated when the link shows that part already: the library asks again because the
    // part did not hold what it needs, and asking once more would never end.
    Insert insert(int disk);
    // The file a disk request names, for messages; empty when there is none.
    std::string partPath(int disk) const;

private:
    SplitParts(std::string last, std::string partPrefix, std::string folder);

    std::string m_last;        // NAME.zip as found on disk
    std::string m_partPrefix;  // ".z" or ".zx": the numbered parts' extension before the number
    std::string m_folder;      // private folder holding the link
    std::string m_link;
    std::string m_linked;  // the part the link points at
    int m_lastNumber = 0;  // the number the last disk (NAME.zip) has in disk requests
};

// Removes the private folders of earlier runs that ended without cleaning up (killed at once):
// folders in `temp` named by a process of this user that no longer runs.
void sweepStaleFolders(const std::string& temp);

}  // namespace tarrowcli

namespace tarrowcli {

// Byte-split sets (NAME.001, NAME.002, ...), which the library joins itself when given the first
// piece. For such a first piece: the path of the first piece missing before a later one (the set
// has a hole), else empty.
std::string pieceMissingInside(const std::string& firstPiece);
// For such a first piece: the path that would follow the last piece present.
std::string pieceAfterLast(const std::string& firstPiece);

}  // namespace tarrowcli
