#include "crc32.h"
#include "decrypt.h"
#include "inflate.h"

#include "DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace tarrow;
using namespace tarrow::test;

TEST(Crc32, MatchesZlibOnEveryLengthAndAlignment) {
    const Bytes data = sampleData(4096, 9);
    EXPECT_EQ(crc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
    for (size_t start : {0, 1, 3}) {
        for (size_t n = 0; n < 100; ++n)
            ASSERT_EQ(crc32(data.data() + start, n), ::crc32(0, data.data() + start, uInt(n))) << start << "/" << n;
    }
    // A running value carried across pieces gives the whole CRC.
    uint32_t running = crc32Update(kCrcStart, data.data(), 1000);
    running = crc32Update(running, data.data() + 1000, data.size() - 1000);
    EXPECT_EQ(~running, ::crc32(0, data.data(), uInt(data.size())));
}

namespace {

// Decrypts an encrypted member's data and inflates or copies it.
bool openMember(const LocalMember& m, const std::string& password, Bytes& plain) {
    uint8_t header[kEncryptionHeaderSize];
    std::copy_n(m.data.begin(), kEncryptionHeaderSize, header);
    TraditionalCipher cipher(password);
    if (!cipher.checkHeader(header, passwordCheckByte(m.crc, m.time, m.flags & 8))) return false;
    Bytes data(m.data.begin() + kEncryptionHeaderSize, m.data.end());
    cipher.decrypt(data.data(), data.size());
    if (m.method == 0) {
        plain = data;
        return true;
    }
    MemorySource source(data);
    CollectSink sink;
    if (inflate(source, sink, UINT64_MAX) != DecodeStatus::Ok) return false;
    plain = sink.data;
    return true;
}

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        std::string t = (std::filesystem::temp_directory_path() / "cipher-XXXXXX").string();
        path = mkdtemp(t.data());
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

}  // namespace

TEST(TraditionalCipher, OpensWhat7ZipEncrypted) {
    if (std::system("command -v 7z >/dev/null 2>&1") != 0) GTEST_SKIP() << "7z not installed";
    TempDir dir;
    const Bytes content = sampleData(50000, 4);
    std::ofstream(dir.path / "data.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
    std::string cmd = "cd '" + dir.path.string() + "' && 7z a -tzip -mem=ZipCrypto -pSECRET a.zip data.bin >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    auto members = localMembers(readFile(dir.path / "a.zip"));
    ASSERT_EQ(members.size(), 1u);
    ASSERT_TRUE(members[0].flags & 1);

    Bytes plain;
    ASSERT_TRUE(openMember(members[0], "SECRET", plain));
    EXPECT_EQ(plain, content);
    // A wrong password fails the one-byte check, or, once in 256 times, yields data that is not the content.
    for (const char* wrong : {"secret", "SECRET ", "", "Secret"})
        EXPECT_FALSE(openMember(members[0], wrong, plain) && plain == content) << wrong;
}

TEST(TraditionalCipher, DataDescriptorMemberIsCheckedAgainstItsTimeByte) {
    Bytes zip = readFile(corpusZip("lz_encrypt.zip"));
    if (zip.empty()) GTEST_SKIP() << "corpus archive missing";
    // The local header of a data-descriptor member carries no CRC; the first member is encrypted.
    auto members = localMembers(zip);
    ASSERT_FALSE(members.empty());
    LocalMember m = members[0];
    ASSERT_EQ(m.flags & 9, 9);
    uint8_t header[kEncryptionHeaderSize];
    std::copy_n(m.data.begin(), kEncryptionHeaderSize, header);
    EXPECT_TRUE(TraditionalCipher("foo").checkHeader(header, uint8_t(m.time >> 8)));
    EXPECT_FALSE(TraditionalCipher("Foo").checkHeader(header, uint8_t(m.time >> 8)));
}
