// The 0x9901 field and the AES decryptor's own invariants; opening real archives is the extraction
// tests' part.
#include "winzip_aes.h"

#include "DecodeTestSupport.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

using namespace tarrow;
using namespace tarrow::test;

namespace {

Bytes aesField(uint16_t version, uint8_t strength, uint16_t method, const char* vendor = "AE", uint16_t size = 7) {
    return {0x01,
            0x99,
            uint8_t(size),
            uint8_t(size >> 8),
            uint8_t(version),
            uint8_t(version >> 8),
            uint8_t(vendor[0]),
            uint8_t(vendor[1]),
            strength,
            uint8_t(method),
            uint8_t(method >> 8)};
}

}  // namespace

TEST(AesField, FoundBehindOtherBlocksAndRefusedWhenMalformed) {
    Bytes extra{0x55, 0x54, 0x05, 0x00, 1, 2, 3, 4, 5};  // a time stamp block first
    Bytes field = aesField(2, 3, 12);
    extra.insert(extra.end(), field.begin(), field.end());
    auto found = findAesField(extra);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->version, 2);
    EXPECT_EQ(found->strength, 3);
    EXPECT_EQ(found->method, 12);
    EXPECT_EQ(found->saltSize(), 16u);
    EXPECT_EQ(found->overhead(), 28u);

    EXPECT_FALSE(findAesField(aesField(1, 4, 8)));  // no 320-bit keys
    EXPECT_FALSE(findAesField(aesField(1, 0, 8)));
    EXPECT_FALSE(findAesField(aesField(1, 1, 8, "XY")));     // another vendor
    EXPECT_FALSE(findAesField(aesField(1, 1, 8, "AE", 5)));  // too short a block
    Bytes cut = aesField(1, 1, 8);
    cut.pop_back();  // the block claims more than the extra field holds
    EXPECT_FALSE(findAesField(cut));
    EXPECT_FALSE(findAesField({}));
}

// The keys as WinZip derives them, the verifier after them; and a plain one-block-at-a-time
// counter mode beside the decryptor's batched one, with the MAC over the encrypted data.
TEST(AesDecryptor, MatchesAPlainDerivationAndCounterModeInAnyChunking) {
    const Bytes salt(16, 0x5A);
    uint8_t derived[66];
    ASSERT_EQ(PKCS5_PBKDF2_HMAC_SHA1("skin", 4, salt.data(), int(salt.size()), 1000, sizeof derived, derived), 1);
    const uint8_t verifier[kAesVerifierSize] = {derived[64], derived[65]};
    const uint8_t wrong[kAesVerifierSize] = {uint8_t(derived[64] ^ 1), derived[65]};
    EXPECT_FALSE(AesDecryptor().start("skin", 3, salt, wrong));
    EXPECT_FALSE(AesDecryptor().start("Skin", 3, salt, verifier) &&
                 AesDecryptor().start("Skin", 3, salt, wrong));  // at most one of two verifiers fits

    const Bytes cipher = sampleData(20000, 30);
    Bytes expected = cipher;
    EVP_CIPHER_CTX* ecb = EVP_CIPHER_CTX_new();
    ASSERT_EQ(EVP_EncryptInit_ex(ecb, EVP_aes_256_ecb(), nullptr, derived, nullptr), 1);
    for (size_t block = 0; block * 16 < expected.size(); ++block) {
        uint8_t counter[16] = {}, key[16];
        for (int i = 0; i < 8; ++i) counter[i] = uint8_t((block + 1) >> (8 * i));
        int n = 0;
        ASSERT_EQ(EVP_EncryptUpdate(ecb, key, &n, counter, 16), 1);
        for (size_t i = 0; i < 16 && block * 16 + i < expected.size(); ++i) expected[block * 16 + i] ^= key[i];
    }
    EVP_CIPHER_CTX_free(ecb);
    uint8_t mac[20];
    unsigned macSize = 0;
    HMAC(EVP_sha1(), derived + 32, 32, cipher.data(), cipher.size(), mac, &macSize);
    uint8_t code[kAesCodeSize], badCode[kAesCodeSize];
    std::copy_n(mac, kAesCodeSize, code);
    std::copy_n(mac, kAesCodeSize, badCode);
    badCode[9] ^= 1;

    for (size_t chunk : {size_t(1), size_t(15), size_t(17), size_t(4096), size_t(4097), SIZE_MAX}) {
        for (bool good : {true, false}) {
            AesDecryptor d;
            ASSERT_TRUE(d.start("skin", 3, salt, verifier));
            Bytes data = cipher;
            for (size_t at = 0; at < data.size(); at += chunk)
                d.decrypt(data.data() + at, std::min(chunk, data.size() - at));
            EXPECT_TRUE(data == expected) << chunk;
            EXPECT_EQ(d.authentic(good ? code : badCode), good) << chunk;
        }
    }
}
