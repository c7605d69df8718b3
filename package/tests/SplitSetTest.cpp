// Byte-split sets (NAME.001, NAME.002, ...): read as the archive they make when joined, through the
// handle interface and the flat one, whatever the size of the pieces; a hole in the set is refused.
#include "LibraryFixture.h"
#include "tarrow.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class SplitSetTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ziptest::Archive a;
        a.members = {ziptest::stored("skin/main.bmp", std::string(3000, 'm')),
                     ziptest::deflated("skin/pledit.txt", "[Text]\nNormal=#00FF00\n")};
        a.comment = "set";
        whole = ziptest::build(a);
    }

    // Cuts the archive into pieces of `size` bytes named base.001, base.002, ...; the first's path.
    std::string cut(const std::string& base, size_t size) {
        size_t n = 0;
        for (size_t at = 0; at < whole.size(); at += size) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, ".%03zu", ++n);
            ziptest::writeFile(
                path(base + suffix),
                ziptest::Bytes(whole.begin() + long(at), whole.begin() + long(std::min(at + size, whole.size()))));
        }
        pieces = n;
        return path(base + ".001");
    }

    // Every member read through a handle on the set; the code of what failed otherwise.
    int readAll(const std::string& first, std::string& data) {
        tarrow_archive* archive = nullptr;
        int code = tarrow_open(first.c_str(), &archive);
        for (size_t i = 0; code == TARROW_OK && i < tarrow_entry_count(archive); ++i)
            code = tarrow_read(
                archive, i, nullptr,
                [](void* user, const void* bytes, size_t size) {
                    static_cast<std::string*>(user)->append(static_cast<const char*>(bytes), size);
                    return 0;
                },
                &data);
        tarrow_close(archive);
        return code;
    }

    ziptest::Bytes whole;
    size_t pieces = 0;
};

}  // namespace

TEST_F(SplitSetTest, PiecesOfAnySizeReadAsTheWholeArchive) {
    const std::string expected = std::string(3000, 'm') + "[Text]\nNormal=#00FF00\n";
    for (size_t size : {size_t(1), size_t(7), size_t(1024), whole.size()}) {
        SCOPED_TRACE(size);
        const std::string first = cut("s" + std::to_string(size) + ".zip", size);
        std::string data;
        EXPECT_EQ(readAll(first, data), TARROW_OK);
        EXPECT_EQ(data, expected);
        // The flat interface tests every member of the set too.
        EXPECT_EQ(test(first), 2);
    }
    EXPECT_EQ(pieces, 1u);  // the last cut: one piece is a set as well
}

TEST_F(SplitSetTest, AHoleInTheSetIsRefusedAndAMissingEndIsNoArchive) {
    const std::string first = cut("h.zip", 500);
    ASSERT_GT(pieces, 4u);
    fs::remove(path("h.zip.003"));
    std::string data;
    EXPECT_EQ(readAll(first, data), TARROW_E_OPEN);
    EXPECT_NE(test(first), 2);

    const std::string other = cut("e.zip", 500);
    char last[32];
    std::snprintf(last, sizeof last, "e.zip.%03zu", pieces);
    fs::remove(path(last));
    EXPECT_EQ(readAll(other, data), TARROW_E_NOT_ZIP);
}
