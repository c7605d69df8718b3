#include "SplitSource.h"

#include "tarrow_archive.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarrow::core {

namespace {

// Piece number n of the set whose names start with base: three digits at least, as the pieces are
// numbered by the programs that cut them (.001 to .999, then .1000).
std::string pieceName(const std::string& base, size_t n) {
    std::string digits = std::to_string(n);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    return base + digits;
}

// A regular file's size; nothing when there is none at path.
bool regularFileSize(const std::string& path, uint64_t& size) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    size = uint64_t(status.st_size);
    return true;
}

class SplitSource : public Source {
public:
    uint64_t size() const override { return m_size; }

    bool readAt(uint64_t position, void* dst, size_t count) const override {
        if (position > m_size || count > m_size - position) return false;
        auto* out = static_cast<uint8_t*>(dst);
        // The last piece starting at or before position.
        size_t i = size_t(std::upper_bound(m_starts.begin(), m_starts.end(), position) - m_starts.begin()) - 1;
        while (count > 0) {
            const uint64_t end = i + 1 < m_starts.size() ? m_starts[i + 1] : m_size;
            const size_t here = size_t(std::min<uint64_t>(count, end - position));
            if (here > 0 && !readPiece(i, position - m_starts[i], out, here)) return false;
            out += here, position += here, count -= here, ++i;
        }
        return true;
    }

    size_t pieces() const { return m_paths.size(); }
    void add(std::string path, uint64_t size) {
        m_paths.push_back(std::move(path));
        m_starts.push_back(m_size);
        m_size += size;
    }

private:
    // Each read opens its piece anew, so that the source holds no descriptors and threads share
    // nothing; a piece that shrank since the set was opened fails the read.
    bool readPiece(size_t index, uint64_t offset, uint8_t* out, size_t count) const {
        const int fd = ::open(m_paths[index].c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        while (count > 0) {
            const ssize_t n = ::pread(fd, out, count, off_t(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            out += n, offset += uint64_t(n), count -= size_t(n);
        }
        ::close(fd);
        return count == 0;
    }

    std::vector<std::string> m_paths;
    std::vector<uint64_t> m_starts;  // where each piece starts in the joined archive
    uint64_t m_size = 0;
};

// A stdio stream's position over a source.
struct StreamCookie {
    std::unique_ptr<Source> source;
    uint64_t position = 0;
};

ssize_t streamRead(void* c, char* buffer, size_t size) {
    auto* cookie = static_cast<StreamCookie*>(c);
    const uint64_t total = cookie->source->size();
    const size_t n = size_t(std::min<uint64_t>(size, total - std::min(cookie->position, total)));
    if (n > 0 && !cookie->source->readAt(cookie->position, buffer, n)) return -1;
    cookie->position += n;
    return ssize_t(n);
}

int streamSeek(void* c, off64_t* offset, int whence) {
    auto* cookie = static_cast<StreamCookie*>(c);
    const int64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? int64_t(cookie->position)
                         : whence == SEEK_END ? int64_t(cookie->source->size())
                                              : -1;
    if (base < 0 || (*offset < 0 && -*offset > base)) return -1;
    cookie->position = uint64_t(base + *offset);
    *offset = off64_t(cookie->position);
    return 0;
}

int streamClose(void* c) {
    delete static_cast<StreamCookie*>(c);
    return 0;
}

}  // namespace

bool isFirstPiece(const std::string& path) { return path.size() > 4 && path.compare(path.size() - 4, 4, ".001") == 0; }

std::unique_ptr<Source> splitSource(const std::string& firstPiece, int& code) {
    code = TARROW_E_OPEN;
    if (!isFirstPiece(firstPiece)) return nullptr;
    const std::string base = firstPiece.substr(0, firstPiece.size() - 3);
    auto source = std::make_unique<SplitSource>();
    uint64_t size = 0;
    for (size_t n = 1; regularFileSize(pieceName(base, n), size); ++n) {
        if (n > kMaxPieces) return nullptr;
        source->add(pieceName(base, n), size);
    }
    const size_t count = source->pieces();
    // A piece after the first one missing means the set has a hole, not an end.
    if (count == 0 || regularFileSize(pieceName(base, count + 2), size)) return nullptr;
    code = TARROW_OK;
    return source;
}

FILE* openSplitStream(const std::string& firstPiece) {
    int code = TARROW_OK;
    auto cookie = std::make_unique<StreamCookie>();
    cookie->source = splitSource(firstPiece, code);
    if (!cookie->source) return nullptr;
    FILE* stream = fopencookie(cookie.get(), "rb", {streamRead, nullptr, streamSeek, streamClose});
    if (stream) cookie.release();
    return stream;
}

}  // namespace tarrow::core
