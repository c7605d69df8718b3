#include "winzip_aes.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <cstring>

namespace tarrow {

namespace {

constexpr uint16_t kAesFieldId = 0x9901;
constexpr size_t kAesFieldSize = 7;
constexpr int kIterations = 1000;
constexpr size_t kBlock = 16;
constexpr size_t kBatch = 256 * kBlock;  // key stream made ahead, so that the cipher runs on many blocks

const EVP_CIPHER* cipherFor(uint8_t strength) {
    switch (strength) {
    case 1: return EVP_aes_128_ecb();
    case 2: return EVP_aes_192_ecb();
    case 3: return EVP_aes_256_ecb();
    default: return nullptr;
    }
}

}  // namespace

std::optional<AesField> findAesField(std::span<const uint8_t> extra) {
    while (extra.size() >= 4) {
        const uint16_t id = uint16_t(extra[0] | extra[1] << 8);
        const size_t size = size_t(extra[2] | extra[3] << 8);
        if (size > extra.size() - 4) return std::nullopt;
        if (id == kAesFieldId) {
            const uint8_t* p = extra.data() + 4;
            AesField f;
            f.version = uint16_t(p[0] | p[1] << 8);
            f.strength = p[4];
            f.method = uint16_t(p[5] | p[6] << 8);
            if (size < kAesFieldSize || p[2] != 'A' || p[3] != 'E' || !cipherFor(f.strength)) return std::nullopt;
            return f;
        }
        extra = extra.subspan(4 + size);
    }
    return std::nullopt;
}

// Counter-mode key stream: the counter blocks of a batch are encrypted in one ECB call, which lets
// the library pipeline its AES instructions, and the stream is applied with a plain XOR. The
// authentication code takes the data a batch at a time just before it is decrypted, while it is in
// the cache.
struct AesDecryptor::State {
    EVP_CIPHER_CTX* cipher = EVP_CIPHER_CTX_new();
    EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* mac = hmac ? EVP_MAC_CTX_new(hmac) : nullptr;
    uint64_t counter = 0;
    size_t used = kBatch;
    alignas(64) uint8_t stream[kBatch];

    ~State() {
        OPENSSL_cleanse(stream, sizeof stream);
        EVP_MAC_CTX_free(mac);
        EVP_MAC_free(hmac);
        EVP_CIPHER_CTX_free(cipher);
    }
};

AesDecryptor::AesDecryptor() : s_(std::make_unique<State>()) {}
AesDecryptor::~AesDecryptor() = default;

bool AesDecryptor::start(std::string_view password, uint8_t strength, std::span<const uint8_t> salt,
                         const uint8_t (&verifier)[kAesVerifierSize]) {
    const EVP_CIPHER* cipher = cipherFor(strength);
    if (!cipher || !s_->cipher || !s_->mac) return false;
    const size_t keySize = 8 * (size_t(strength) + 1);
    uint8_t derived[2 * 32 + kAesVerifierSize];
    const size_t derivedSize = 2 * keySize + kAesVerifierSize;
    bool ok = PKCS5_PBKDF2_HMAC_SHA1(password.data(), int(password.size()), salt.data(), int(salt.size()), kIterations,
                                     int(derivedSize), derived) == 1 &&
              std::memcmp(derived + 2 * keySize, verifier, kAesVerifierSize) == 0;
    if (ok) {
        char digest[] = "SHA1";
        const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                     OSSL_PARAM_construct_end()};
        ok = EVP_EncryptInit_ex(s_->cipher, cipher, nullptr, derived, nullptr) == 1 &&
             EVP_CIPHER_CTX_set_padding(s_->cipher, 0) == 1 &&
             EVP_MAC_init(s_->mac, derived + keySize, keySize, params) == 1;
    }
    OPENSSL_cleanse(derived, sizeof derived);
    s_->counter = 0;
    s_->used = kBatch;
    return ok;
}

void AesDecryptor::refill() {
    State& s = *s_;
    // Counter blocks: a 128-bit little-endian count from 1 (as on every target of the library).
    uint64_t counter = s.counter;
    for (size_t at = 0; at < kBatch; at += kBlock) {
        const uint64_t block[2] = {++counter, 0};
        std::memcpy(s.stream + at, block, kBlock);
    }
    s.counter = counter;
    int produced = 0;
    EVP_EncryptUpdate(s.cipher, s.stream, &produced, s.stream, int(kBatch));
    s.used = 0;
}

void AesDecryptor::decrypt(uint8_t* data, size_t size) {
    State& s = *s_;
    while (size > 0) {
        if (s.used == kBatch) refill();
        const size_t n = std::min(size, kBatch - s.used);
        EVP_MAC_update(s.mac, data, n);
        const uint8_t* key = s.stream + s.used;
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t a, b;
            std::memcpy(&a, data + i, 8);
            std::memcpy(&b, key + i, 8);
            a ^= b;
            std::memcpy(data + i, &a, 8);
        }
        for (; i < n; ++i) data[i] ^= key[i];
        s.used += n;
        data += n;
        size -= n;
    }
}

bool AesDecryptor::authentic(const uint8_t (&code)[kAesCodeSize]) {
    uint8_t full[EVP_MAX_MD_SIZE];
    size_t length = 0;
    if (EVP_MAC_final(s_->mac, full, &length, sizeof full) != 1 || length < kAesCodeSize) return false;
    return CRYPTO_memcmp(full, code, kAesCodeSize) == 0;
}

}  // namespace tarrow
