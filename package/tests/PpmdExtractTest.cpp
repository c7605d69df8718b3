// PPMd members through the library's C interface: 7z's own archives extract byte for byte as 7z
// extracts them, and a damaged member fails as a CRC-class error without a completion message.
#include "LibraryFixture.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

bool have7z() { return std::system("7z i > /dev/null 2>&1") == 0; }

class PpmdExtractTest : public LibraryTest {
protected:
    int32_t extract(const std::string& archive, bool test = false) {
        messages.clear();
        return extractInto(archive, path("out"), [&] { Tarrow_Test(test); });
    }
    // 7z's extraction of the archive, as the reference.
    std::string reference(const std::string& archive, const std::string& name) {
        std::string cmd = "7z x -y -o'" + path("ref") + "' '" + archive + "' >/dev/null 2>&1";
        return std::system(cmd.c_str()) == 0 ? readFile(path("ref/" + name)) : std::string("(7z failed)");
    }
};

}  // namespace

TEST_F(PpmdExtractTest, CorpusArchivesExtractAs7zExtractsThem) {
    if (!have7z()) GTEST_SKIP() << "7z missing";
    int seen = 0;
    for (auto [archive, member] : {std::pair{"zip2_ppmd.zip", "ipsum.txt"}, {"zjs_lorem-ppmd.zip", "lorem.txt"}}) {
        std::string zip = std::string(VELTRANE_SHARED_DIR) + "/corpus/zip/" + archive;
        if (!fs::exists(zip)) continue;
        ++seen;
        EXPECT_EQ(extract(zip), 1) << archive;
        EXPECT_TRUE(texts(TARROW_MSG_WARNING).empty()) << archive;
        EXPECT_EQ(readFile(path(std::string("out/") + member)), reference(zip, member)) << archive;
    }
    if (seen == 0) GTEST_SKIP() << "corpus missing";
}

TEST_F(PpmdExtractTest, MadeBy7zAndDamaged) {
    if (!have7z()) GTEST_SKIP() << "7z missing";
    std::string text;
    for (int i = 0; text.size() < 200000; ++i)
        text += "skin " + std::to_string(i * 7919 % 1000) + (i % 9 ? " main.bmp " : "\r\n");
    {
        std::ofstream f(path("data.txt"), std::ios::binary);
        f << text;
    }
    std::string zip = path("p.zip");
    std::string cmd = "cd '" + path("") + "' && 7z a -tzip -mm=PPMd -mo=8 -mmem=1m p.zip data.txt >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(extract(zip), 1);
    EXPECT_TRUE(texts(TARROW_MSG_WARNING).empty());
    EXPECT_TRUE(readFile(path("out/data.txt")) == text);

    // A changed byte in the middle of the member's data.
    std::string bytes = readFile(zip);
    bytes[bytes.size() / 3] ^= 0x5A;
    ziptest::writeFile(path("bad.zip"), ziptest::Bytes(bytes.begin(), bytes.end()));
    extract(path("bad.zip"), true);
    std::vector<std::string> warnings = texts(TARROW_MSG_WARNING);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("|data.txt|" + std::to_string(TARROW_WARNING_DATA_CORRUPT) + "|"), std::string::npos)
        << warnings[0];
    EXPECT_TRUE(texts(TARROW_MSG_TEST_DONE).empty());

    // So is a model header the decoder refuses (restoration method 15).
    bytes = readFile(zip);
    const size_t data =
        30 + uint8_t(bytes[26]) + 256 * uint8_t(bytes[27]) + uint8_t(bytes[28]) + 256 * uint8_t(bytes[29]);
    bytes[data + 1] = char(uint8_t(bytes[data + 1]) | 0xF0);
    ziptest::writeFile(path("bad.zip"), ziptest::Bytes(bytes.begin(), bytes.end()));
    extract(path("bad.zip"), true);
    warnings = texts(TARROW_MSG_WARNING);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("|data.txt|" + std::to_string(TARROW_WARNING_DATA_CORRUPT) + "|"), std::string::npos)
        << warnings[0];
}
