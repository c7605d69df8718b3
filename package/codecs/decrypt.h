// The traditional ZIP encryption, decrypting side: three 32-bit keys seeded from the password and
// stirred by every plain byte, and a 12-byte header in front of the member's data that checks the password.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarrow {

constexpr size_t kEncryptionHeaderSize = 12;

class TraditionalCipher {
public:
    // Seeds the keys with the password's bytes as they are.
    explicit TraditionalCipher(std::string_view password);

    uint8_t decrypt(uint8_t c) {
        uint8_t plain = c ^ keyByte();
        updateKeys(plain);
        return plain;
    }
    void decrypt(uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i) data[i] = decrypt(data[i]);
    }

    // Decrypts the encryption header and tells whether its last byte equals the expected check byte.
    bool checkHeader(const uint8_t (&header)[kEncryptionHeaderSize], uint8_t expected);

private:
    uint8_t keyByte() const {
        uint32_t t = (keys_[2] | 2) & 0xffff;
        return uint8_t((t * (t ^ 1)) >> 8);
    }
    void updateKeys(uint8_t plain);

    uint32_t keys_[3];
};

// The byte the header's last plain byte must match: the CRC's high byte, or, for a member whose CRC
// follows its data (general-purpose bit 3), the high byte of its DOS time.
inline uint8_t passwordCheckByte(uint32_t crc, uint16_t dosTime, bool dataDescriptor) {
    return dataDescriptor ? uint8_t(dosTime >> 8) : uint8_t(crc >> 24);
}

}  // namespace tarrow
