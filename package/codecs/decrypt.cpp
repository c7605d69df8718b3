#include "decrypt.h"

#include "crc32.h"

namespace tarrow {

TraditionalCipher::TraditionalCipher(std::string_view password) : keys_{305419896, 591751049, 878082192} {
    for (char c : password) updateKeys(uint8_t(c));
}

void TraditionalCipher::updateKeys(uint8_t plain) {
    keys_[0] = crc32Byte(keys_[0], plain);
    keys_[1] = (keys_[1] + (keys_[0] & 0xff)) * 134775813 + 1;
    keys_[2] = crc32Byte(keys_[2], uint8_t(keys_[1] >> 24));
}

bool TraditionalCipher::checkHeader(const uint8_t (&header)[kEncryptionHeaderSize], uint8_t expected) {
    uint8_t last = 0;
    for (uint8_t b : header) last = decrypt(b);
    return last == expected;
}

}  // namespace tarrow
