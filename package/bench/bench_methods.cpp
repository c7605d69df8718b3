// The decoders that wrap Debian's libraries beside the same library decoding the same streams
// straight into one buffer, in the same run: the wrapper adds only the framing (the output window,
// 32 KB blocks). And AES-256 as members are decrypted (counter mode and the HMAC-SHA1 of the
// data, 8 KB at a time) beside libcrypto's own counter mode. Prints each ratio at the end.
#include "bunzip2.h"
#include "unlzma.h"
#include "unxz.h"
#include "unzstd.h"
#include "winzip_aes.h"

#include "DecodeTestSupport.h"

#include "RatioReporter.h"

#include <benchmark/benchmark.h>
#include <bzlib.h>
#include <lzma.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <zstd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

using tarrow::test::Bytes;

namespace {

constexpr size_t kStreams = 24;
constexpr size_t kStreamSize = 256 << 10;  // about the size of a skin's largest bitmap

enum Method { kBzip2, kLzma, kXz, kZstd, kMethods };
const char* kNames[kMethods] = {"bzip2", "LZMA", "xz", "zstd"};

lzma_options_lzma lzmaOptions() {
    lzma_options_lzma o;
    lzma_lzma_preset(&o, 6);
    o.dict_size = 1 << 20;
    return o;
}

Bytes pack(Method m, const Bytes& in) {
    Bytes out(in.size() + in.size() / 2 + 4096);
    switch (m) {
    case kBzip2: {
        unsigned size = unsigned(out.size());
        BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size,
                                 const_cast<char*>(reinterpret_cast<const char*>(in.data())), unsigned(in.size()), 9, 0,
                                 0);
        out.resize(size);
        return out;
    }
    case kLzma: {
        // The ZIP form: version, properties size, properties, then the raw stream with its marker.
        lzma_options_lzma o = lzmaOptions();
        lzma_filter f[] = {{LZMA_FILTER_LZMA1, &o}, {LZMA_VLI_UNKNOWN, nullptr}};
        size_t size = 9;
        lzma_raw_buffer_encode(f, nullptr, in.data(), in.size(), out.data(), &size, out.size());
        const uint32_t d = o.dict_size;
        const uint8_t header[9] = {9,
                                   20,
                                   5,
                                   0,
                                   uint8_t((o.pb * 5 + o.lp) * 9 + o.lc),
                                   uint8_t(d),
                                   uint8_t(d >> 8),
                                   uint8_t(d >> 16),
                                   uint8_t(d >> 24)};
        std::memcpy(out.data(), header, 9);
        out.resize(size);
        return out;
    }
    case kXz: {
        size_t size = 0;
        lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, in.data(), in.size(), out.data(), &size, out.size());
        out.resize(size);
        return out;
    }
    default: out.resize(ZSTD_compress(out.data(), out.size(), in.data(), in.size(), 3)); return out;
    }
}

struct Data {
    std::vector<Bytes> plain, packed[kMethods];
};

const Data& data() {
    static const Data d = [] {
        Data d;
        for (size_t i = 0; i < kStreams; ++i) {
            d.plain.push_back(tarrow::test::sampleData(kStreamSize, uint32_t(i + 1)));
            for (int m = 0; m < kMethods; ++m) d.packed[m].push_back(pack(Method(m), d.plain.back()));
        }
        return d;
    }();
    return d;
}

// Takes the blocks and lets them go, as test mode does after its CRC.
struct DiscardSink : tarrow::OutputSink {
    size_t total = 0;
    bool write(std::span<const uint8_t> block) override {
        benchmark::DoNotOptimize(block.data());
        total += block.size();
        return true;
    }
};

void BM_Ours(benchmark::State& state) {
    const Method m = Method(state.range(0));
    const Data& d = data();
    tarrow::OutputWindow window;
    for (auto _ : state) {
        for (size_t i = 0; i < kStreams; ++i) {
            DiscardSink sink;
            tarrow::MemorySource source(d.packed[m][i], 8192);
            window.start(sink, kStreamSize);
            tarrow::DecodeStatus s;
            switch (m) {
            case kBzip2: s = tarrow::bunzip2(source, window); break;
            case kLzma: s = tarrow::unlzma(source, window, {kStreamSize, true}); break;
            case kXz: s = tarrow::unxz(source, window, tarrow::kMaxDecoderMemory); break;
            default: s = tarrow::unzstd(source, window); break;
            }
            if (s != tarrow::DecodeStatus::Ok || sink.total != kStreamSize) state.SkipWithError("decode failed");
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kStreams * kStreamSize));
}

void BM_Library(benchmark::State& state) {
    const Method m = Method(state.range(0));
    const Data& d = data();
    Bytes out(kStreamSize);
    ZSTD_DCtx* z = ZSTD_createDCtx();
    for (auto _ : state) {
        for (size_t i = 0; i < kStreams; ++i) {
            const Bytes& in = d.packed[m][i];
            bool ok = false;
            switch (m) {
            case kBzip2: {
                unsigned size = unsigned(out.size());
                ok = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out.data()), &size,
                                                const_cast<char*>(reinterpret_cast<const char*>(in.data())),
                                                unsigned(in.size()), 0, 0) == BZ_OK;
                break;
            }
            case kLzma: {
                lzma_options_lzma o = lzmaOptions();
                lzma_filter f[] = {{LZMA_FILTER_LZMA1, &o}, {LZMA_VLI_UNKNOWN, nullptr}};
                size_t inPos = 9, outPos = 0;
                lzma_ret rc =
                    lzma_raw_buffer_decode(f, nullptr, in.data(), &inPos, in.size(), out.data(), &outPos, out.size());
                ok = (rc == LZMA_OK || rc == LZMA_STREAM_END) && outPos == kStreamSize;
                break;
            }
            case kXz: {
                uint64_t limit = tarrow::kMaxDecoderMemory;
                size_t inPos = 0, outPos = 0;
                ok = lzma_stream_buffer_decode(&limit, 0, nullptr, in.data(), &inPos, in.size(), out.data(), &outPos,
                                               out.size()) == LZMA_OK;
                break;
            }
            default: {
                // The streaming decoder we call, given the whole output buffer at once.
                ZSTD_DCtx_reset(z, ZSTD_reset_session_only);
                ZSTD_inBuffer input{in.data(), in.size(), 0};
                ZSTD_outBuffer output{out.data(), out.size(), 0};
                size_t rc = ZSTD_decompressStream(z, &output, &input);
                ok = rc == 0 && output.pos == kStreamSize;
                break;
            }
            }

            if (!ok) state.SkipWithError("library failed");
            benchmark::DoNotOptimize(out.data());
        }
    }
    ZSTD_freeDCtx(z);
    state.SetBytesProcessed(int64_t(state.iterations() * kStreams * kStreamSize));
}

// zstd's one-shot decoder, which needs the whole output at once: the figure beyond any streaming use.
void BM_ZstdOneShot(benchmark::State& state) {
    const Data& d = data();
    Bytes out(kStreamSize);
    ZSTD_DCtx* z = ZSTD_createDCtx();
    for (auto _ : state) {
        for (const Bytes& in : d.packed[kZstd])
            if (ZSTD_decompressDCtx(z, out.data(), out.size(), in.data(), in.size()) != kStreamSize)
                state.SkipWithError("library failed");
        benchmark::DoNotOptimize(out.data());
    }
    ZSTD_freeDCtx(z);
    state.SetBytesProcessed(int64_t(state.iterations() * kStreams * kStreamSize));
}

constexpr size_t kAesBytes = 32 << 20;
const uint8_t kSalt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

void BM_OurAes256(benchmark::State& state) {
    Bytes buffer(kAesBytes, 0x5A);
    uint8_t derived[66];
    PKCS5_PBKDF2_HMAC_SHA1("skin", 4, kSalt, 16, 1000, sizeof derived, derived);
    const uint8_t verifier[2] = {derived[64], derived[65]};
    tarrow::AesDecryptor aes;
    for (auto _ : state) {
        if (!aes.start("skin", 3, kSalt, verifier)) state.SkipWithError("key set-up failed");
        for (size_t at = 0; at < buffer.size(); at += 8192) aes.decrypt(buffer.data() + at, 8192);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kAesBytes));
}

void BM_LibcryptoAes256Ctr(benchmark::State& state) {
    Bytes buffer(kAesBytes, 0x5A);
    const uint8_t key[32] = {7}, iv[16] = {1};
    EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        EVP_DecryptInit_ex(c, EVP_aes_256_ctr(), nullptr, key, iv);
        int n = 0;
        for (size_t at = 0; at < buffer.size(); at += 8192)
            EVP_DecryptUpdate(c, buffer.data() + at, &n, buffer.data() + at, 8192);
        benchmark::DoNotOptimize(buffer.data());
    }
    EVP_CIPHER_CTX_free(c);
    state.SetBytesProcessed(int64_t(state.iterations() * kAesBytes));
}

// The authentication code alone, through the same interface ours uses: with the counter mode above it
// gives the most the two can reach one after the other.
void BM_LibcryptoHmacSha1(benchmark::State& state) {
    Bytes buffer(kAesBytes, 0x5A);
    const uint8_t key[32] = {7};
    EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* mac = EVP_MAC_CTX_new(hmac);
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string("digest", digest, 0), OSSL_PARAM_construct_end()};
    uint8_t code[EVP_MAX_MD_SIZE];
    size_t length = 0;
    for (auto _ : state) {
        EVP_MAC_init(mac, key, sizeof key, params);
        for (size_t at = 0; at < buffer.size(); at += 8192) EVP_MAC_update(mac, buffer.data() + at, 8192);
        EVP_MAC_final(mac, code, &length, sizeof code);
        benchmark::DoNotOptimize(code);
    }
    EVP_MAC_CTX_free(mac);
    EVP_MAC_free(hmac);
    state.SetBytesProcessed(int64_t(state.iterations() * kAesBytes));
}

BENCHMARK(BM_Ours)->DenseRange(0, kMethods - 1)->ArgName("method")->MinTime(1.0);
BENCHMARK(BM_Library)->DenseRange(0, kMethods - 1)->ArgName("method")->MinTime(1.0);
BENCHMARK(BM_ZstdOneShot)->MinTime(1.0);
BENCHMARK(BM_OurAes256)->MinTime(1.0);
BENCHMARK(BM_LibcryptoAes256Ctr)->MinTime(1.0);
BENCHMARK(BM_LibcryptoHmacSha1)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (int m = 0; m < kMethods; ++m) {
        const std::string arg = "/method:" + std::to_string(m) + "/min_time:1.000";
        const double ours = reporter.seconds["BM_Ours" + arg], library = reporter.seconds["BM_Library" + arg];
        if (ours > 0 && library > 0)
            std::printf("%-5s (%zu streams of %zu bytes): library time / our time = %.3f\n", kNames[m], kStreams,
                        kStreamSize, library / ours);
    }
    const double oneShot = reporter.seconds["BM_ZstdOneShot/min_time:1.000"];
    const double zstdOurs = reporter.seconds["BM_Ours/method:3/min_time:1.000"];
    if (oneShot > 0 && zstdOurs > 0) std::printf("zstd one-shot time / our time = %.3f\n", oneShot / zstdOurs);
    const double aes = reporter.seconds["BM_OurAes256/min_time:1.000"];
    const double ctr = reporter.seconds["BM_LibcryptoAes256Ctr/min_time:1.000"];
    const double sha1 = reporter.seconds["BM_LibcryptoHmacSha1/min_time:1.000"];
    if (aes > 0 && ctr > 0 && sha1 > 0)  // bytes per nanosecond are GB/s
        std::printf(
            "AES-256 with HMAC-SHA1: %.2f GB/s; libcrypto's AES-256-CTR alone: %.2f GB/s, HMAC-SHA1 alone: "
            "%.2f GB/s, both in turn: %.2f GB/s; their time / our time = %.3f\n",
            kAesBytes / aes, kAesBytes / ctr, kAesBytes / sha1, kAesBytes / (ctr + sha1), (ctr + sha1) / aes);
    benchmark::Shutdown();
    return 0;
}
