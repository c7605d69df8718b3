// Members of the methods and the cipher decoded through Debian's libraries, end to end through the C
// interface: archives that 7z writes at test time and corpus archives, extracted byte for byte as 7z
// extracts them, and the failures a damaged or lying member must give.
#include "LibraryFixture.h"

#include "DecodeTestSupport.h"

#include <bzlib.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using tarrow::test::sampleData;

namespace {

bool have7z() { return std::system("command -v 7z >/dev/null 2>&1") == 0; }

class MethodsTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        const tarrow::test::Bytes bytes = sampleData(150000, 21);
        content.assign(bytes.begin(), bytes.end());
        std::ofstream(path("data.bin"), std::ios::binary).write(content.data(), std::streamsize(content.size()));
    }
    // 7z's archive of data.bin with the given switches.
    std::string sevenZip(const std::string& name, const std::string& switches) {
        std::string cmd = "cd '" + path("") + "' && 7z a -tzip " + switches + " " + name + " data.bin >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return path(name);
    }
    int32_t extract(const std::string& archive, const char* password, bool test = false) {
        messages.clear();
        return extractInto(archive, path("out"), [&] {
            if (password) Tarrow_Decrypt(password);
            Tarrow_Test(test);
        });
    }
    std::vector<int> warnings() const {
        std::vector<int> codes;
        for (const std::string& t : texts(TARROW_MSG_WARNING))
            codes.push_back(std::atoi(t.substr(t.rfind('|', t.size() - 2) + 1).c_str()));
        return codes;
    }
    std::string extracted() const { return readFile(path("out/data.bin")); }

    std::string content;
};

// The archive's bytes with one byte changed at `from_end` bytes before the central directory's start.
void damageBeforeCentral(const std::string& archive, size_t fromEnd) {
    std::string bytes = readFile(archive);
    size_t central = bytes.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    bytes[central - fromEnd] ^= 0x20;
    std::ofstream(archive, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace

TEST_F(MethodsTest, WhatSevenZipWritesExtractsByteForByte) {
    if (!have7z()) GTEST_SKIP() << "7z not installed";
    for (const char* method : {"BZip2", "LZMA", "LZMA:eos", "XZ"}) {
        std::string zip = sevenZip(std::string(method).substr(0, 4) + ".zip", std::string("-mm=") + method);
        EXPECT_EQ(extract(zip, nullptr, true), 1) << method;
        EXPECT_TRUE(warnings().empty()) << method;
        EXPECT_EQ(texts(TARROW_MSG_TEST_DONE).size(), 1u) << method;
        extract(zip, nullptr);
        EXPECT_TRUE(extracted() == content) << method;
        fs::remove_all(path("out"));
        fs::remove(zip);
    }
}

TEST_F(MethodsTest, AesMembersOfEveryKeySizeOpenWithTheirPasswordOnly) {
    if (!have7z()) GTEST_SKIP() << "7z not installed";
    for (const char* cipher : {"AES128", "AES192", "AES256"}) {
        for (const char* method : {"Deflate", "BZip2", "Copy"}) {
            const std::string what = std::string(cipher) + " " + method;
            std::string zip = sevenZip("aes.zip", std::string("-mem=") + cipher + " -mm=" + method + " '-pPass word'");
            extract(zip, "Pass word");
            EXPECT_TRUE(warnings().empty()) << what;
            EXPECT_TRUE(extracted() == content) << what;
            fs::remove_all(path("out"));
            // A wrong password is refused as a wrong traditional one is, and nothing is written.
            for (const char* wrong : {"pass word", "Pass word ", ""}) {
                extract(zip, wrong);
                EXPECT_EQ(warnings(), std::vector<int>{TARROW_WARNING_PASSWORD}) << what << " / " << wrong;
                EXPECT_FALSE(fs::exists(path("out/data.bin"))) << what;
            }
            extract(zip, nullptr);
            EXPECT_EQ(warnings(), std::vector<int>{TARROW_WARNING_NO_PASSWORD}) << what;
            fs::remove(zip);
        }
    }
}

TEST_F(MethodsTest, TamperedAesMemberFailsItsAuthentication) {
    if (!have7z()) GTEST_SKIP() << "7z not installed";
    // 1 byte before the central directory lies in the authentication code, 40 in the encrypted data
    // of a stored member, whose damage no decoder can notice.
    for (size_t fromEnd : {size_t(1), size_t(40)}) {
        std::string zip = sevenZip("aes.zip", "-mem=AES256 -mm=Copy -pPW");
        damageBeforeCentral(zip, fromEnd);
        extract(zip, "PW", true);
        EXPECT_EQ(warnings(), std::vector<int>{TARROW_WARNING_CRC}) << fromEnd;
        EXPECT_TRUE(texts(TARROW_MSG_TEST_DONE).empty()) << fromEnd;
        fs::remove(zip);
    }
}

TEST_F(MethodsTest, DamagedTruncatedAndLyingMembersFail) {
    const std::string text(content.begin(), content.begin() + 60000);
    std::string packed(text.size() + 1000, '\0');
    unsigned size = unsigned(packed.size());
    ASSERT_EQ(
        BZ2_bzBuffToBuffCompress(packed.data(), &size, const_cast<char*>(text.data()), unsigned(text.size()), 9, 0, 0),
        BZ_OK);
    packed.resize(size);
    auto archiveWith = [&](const std::string& data, uint32_t declared) {
        ziptest::Member m;
        m.name = "data.bin";
        m.data = text;
        m.packed = data;
        m.method = 12;
        m.versionNeeded = 46;
        m.uncompressedSize = declared;
        ziptest::Archive a;
        a.members = {m};
        return writeArchive("b.zip", a);
    };
    extract(archiveWith(packed, uint32_t(text.size())), nullptr);
    EXPECT_TRUE(warnings().empty());
    EXPECT_TRUE(extracted() == text);

    extract(archiveWith(packed.substr(0, packed.size() / 2), uint32_t(text.size())), nullptr, true);
    EXPECT_EQ(warnings(), std::vector<int>{TARROW_WARNING_DATA_CORRUPT});
    EXPECT_TRUE(texts(TARROW_MSG_TEST_DONE).empty());

    std::string damaged = packed;
    damaged[packed.size() / 2] ^= 0x10;
    extract(archiveWith(damaged, uint32_t(text.size())), nullptr, true);
    EXPECT_EQ(warnings(), std::vector<int>{TARROW_WARNING_DATA_CORRUPT});

    // Output stops at the declared size, which the data exceeds.
    fs::remove_all(path("out"));
    extract(archiveWith(packed, 1000), nullptr);
    EXPECT_EQ(warnings(), std::vector<int>{TARROW_WARNING_DATA_CORRUPT});
    EXPECT_LE(fs::file_size(path("out/data.bin")), 1000u);
}

TEST_F(MethodsTest, ListingNamesTheMethodOfTheDataAndFlagsAes) {
    if (!have7z()) GTEST_SKIP() << "7z not installed";
    std::string zip = sevenZip("l.zip", "-mem=AES256 -mm=BZip2 -pPW");
    ASSERT_EQ(list(zip), 1);
    auto rows = texts(TARROW_MSG_LISTING);
    ASSERT_EQ(rows.size(), 1u);
    // Fields after the name: size, compressed, ratio, date, time, attributes, method, encrypted.
    EXPECT_NE(rows[0].find("|120|1|"), std::string::npos) << rows[0];
}

// Corpus archives of these methods extract to what 7z extracts from them.
TEST_F(MethodsTest, CorpusArchivesExtractAsSevenZipDoes) {
    const std::string corpus = std::string(VELTRANE_SHARED_DIR) + "/corpus/zip/";
    if (!have7z() || !fs::exists(corpus)) GTEST_SKIP() << "7z or the corpus missing";
    const std::pair<const char*, const char*> archives[] = {
        {"cc_bzip2-zip.zip", nullptr},
        {"zjs_lorem-bzip2.zip", nullptr},
        {"zjs_lorem-big-bzip2.zip", nullptr},
        {"zjs_lorem-lzma-eos.zip", nullptr},
        {"la_test_read_format_zip_7z_lzma.zip", nullptr},
        {"cc_test-method-xz.zip", nullptr},
        {"zip2_xz.zip", nullptr},
        {"zjs_lorem-zstd.zip", nullptr},
        {"zjs_lorem-encrypted.zip", "password"},
        {"go_hello-aes.zip", "golang"},
        {"go_world-aes.zip", "golang"},
        {"zip2_aes_archive.zip", "helloworld"},
    };
    for (auto [name, password] : archives) {
        const std::string archive = corpus + name;
        fs::remove_all(path("out"));
        fs::remove_all(path("ref"));
        std::string cmd = "7z x -y -snld -o'" + path("ref") + "' " + (password ? std::string("-p") + password : "-p-") +
                          " '" + archive + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << name;
        extract(archive, password);
        EXPECT_TRUE(warnings().empty()) << name;
        size_t files = 0;
        for (const auto& e : fs::recursive_directory_iterator(path("ref"))) {
            if (e.is_symlink() || !e.is_regular_file())  // the library writes a link's target as a file
                continue;
            ++files;
            const fs::path mine = path("out") / fs::relative(e.path(), path("ref"));
            EXPECT_TRUE(readFile(mine.string()) == readFile(e.path().string())) << name << ": " << mine;
        }
        EXPECT_GT(files, 0u) << name;
    }
}
