// A scratch folder for one test, removed with everything in it when the test ends, and helpers to
// fill it with files and small skins.
#pragma once

#include "platform/Dib.h"
#include "platform/Picture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace veltrane::test {

class TempTree {
public:
    TempTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltrane-test-XXXXXX").string();
        if (mkdtemp(pattern.data())) m_root = pattern + "/";
    }
    ~TempTree() {
        std::error_code error;
        std::filesystem::remove_all(m_root, error);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The folder, with a trailing "/".
    const std::string& Root() const { return m_root; }

    std::string Write(const std::string& relative, const std::string& content = "x") const {
        const std::filesystem::path path = m_root + relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    // Every path below the root, relative to it (folders end with "/").
    std::set<std::string> Contents() const {
        std::set<std::string> out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(m_root)) {
            std::string rel = e.path().string().substr(m_root.size());
            out.insert(e.is_directory() ? rel + "/" : rel);
        }
        return out;
    }

private:
    std::string m_root;
};

// A solid-colour 24-bit bitmap file, as a skin's MAIN.BMP or EQMAIN.BMP.
inline void WriteSolidBitmap(const std::string& path, int32_t width, int32_t height, RgbQuad colour) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    Dib dib(width, height, 24);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) dib.SetPixel(x, y, colour);
    SavePicture(dib, path);
}

}  // namespace veltrane::test
