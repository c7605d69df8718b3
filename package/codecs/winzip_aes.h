// AES encryption as WinZip defines it for ZIP members (method 99): the 0x9901 extra field names the
// key size and the real method; the member's data is a salt, a 2-byte password verifier, the data
// encrypted with AES in counter mode (a little-endian block counter starting at 1), and the first
// 10 bytes of an HMAC-SHA1 of the encrypted data. Keys come from the password and the salt by
// PBKDF2-HMAC-SHA1 with 1000 iterations. The cipher and the MAC are libcrypto's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace tarrow {

constexpr uint16_t kAesMethod = 99;
constexpr size_t kAesVerifierSize = 2;
constexpr size_t kAesCodeSize = 10;

// The 0x9901 extra field.
struct AesField {
    uint16_t version = 0;  // 1 (AE-1: the CRC is checked) or 2 (AE-2: the CRC is 0 and not checked)
    uint8_t strength = 0;  // 1, 2, 3: 128, 192, 256-bit keys
    uint16_t method = 0;   // the compression method of the decrypted data
    size_t saltSize() const { return 4 * (size_t(strength) + 1); }
    // Bytes of the member's data that are not the encrypted data.
    size_t overhead() const { return saltSize() + kAesVerifierSize + kAesCodeSize; }
};

// Finds the 0x9901 field in an extra-field block; nothing when absent or malformed (unknown
// strength, short field).
std::optional<AesField> findAesField(std::span<const uint8_t> extra);

class AesDecryptor {
public:
    AesDecryptor();
    ~AesDecryptor();
    AesDecryptor(const AesDecryptor&) = delete;
    AesDecryptor& operator=(const AesDecryptor&) = delete;

    // Derives the keys for a member; false when the password does not match the verifier (or the
    // library cannot set up the cipher).
    bool start(std::string_view password, uint8_t strength, std::span<const uint8_t> salt,
               const uint8_t (&verifier)[kAesVerifierSize]);
    // Decrypts data in place, in any chunking, taking the encrypted bytes into the MAC first.
    void decrypt(uint8_t* data, size_t size);
    // Whether the data decrypted so far carries this authentication code.
    bool authentic(const uint8_t (&code)[kAesCodeSize]);

private:
    void refill();

    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace tarrow
