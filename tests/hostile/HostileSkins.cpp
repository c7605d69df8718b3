#include "HostileSkins.h"

#include "app/Commands.h"
#include "archive/SkinBudget.h"
#include "archive/UnZIP.h"
#include "platform/Picture.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace veltrane::hostile {
namespace {

constexpr uint64_t kMiB = 1 << 20;

uint32_t Le32(const ziptest::Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const ziptest::Bytes& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
void Put32(ziptest::Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
void Put16(ziptest::Bytes& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

// One raw deflate stream fed piece by piece, each piece ended with the given flush.
class RawDeflater {
public:
    RawDeflater() {
        if (deflateInit2(&m_stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("deflateInit2");
    }
    ~RawDeflater() { deflateEnd(&m_stream); }
    std::string Feed(std::string_view data, int flush) {
        std::string out;
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        m_stream.avail_in = uInt(data.size());
        char buffer[1 << 16];
        do {
            m_stream.next_out = reinterpret_cast<Bytef*>(buffer);
            m_stream.avail_out = sizeof buffer;
            deflate(&m_stream, flush);
            out.append(buffer, sizeof buffer - m_stream.avail_out);
        } while (m_stream.avail_out == 0 || m_stream.avail_in > 0);
        return out;
    }

private:
    z_stream m_stream{};
};

uint64_t BytesBelow(const std::filesystem::path& folder) {
    uint64_t total = 0;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) total += it->file_size(ec);
    return total;
}

// Notes the most a folder ever held, each time it runs.
class MeasuringPump final : public EventPump {
public:
    explicit MeasuringPump(std::string folder) : m_folder(std::move(folder)) {}
    void DoEvents() override { peak = std::max(peak, BytesBelow(m_folder)); }
    uint64_t peak = 0;

private:
    std::string m_folder;
};

// An archive of members followed by one-byte files in folder, count members in all.
ziptest::Archive WithTinyMembers(std::vector<ziptest::Member> members, const std::string& folder, std::size_t count) {
    ziptest::Archive archive;
    archive.members = std::move(members);
    for (std::size_t i = archive.members.size(); i < count; ++i)
        archive.members.push_back(ziptest::stored(folder + "f" + std::to_string(i) + ".txt", "x"));
    return archive;
}

std::string SolidSkinText() {
    return "[Text]\nNormal=#00FF00\nCurrent=#FFFFFF\nNormalBG=#000000\nSelectedBG=#0000FF\n";
}

}  // namespace

std::string DeflatedZeros(uint64_t size) {
    RawDeflater deflater;
    const std::string megabyte(kMiB, '\0');
    std::string out;
    if (size >= kMiB) {
        // After a full flush the stream starts afresh, so the second piece may stand for all others.
        out = deflater.Feed(megabyte, Z_FULL_FLUSH);
        const uint64_t whole = size / kMiB;
        if (whole > 1) {
            const std::string piece = deflater.Feed(megabyte, Z_FULL_FLUSH);
            out.reserve(out.size() + piece.size() * (whole - 1) + 64);
            for (uint64_t i = 1; i < whole; ++i) out += piece;
        }
    }
    out += deflater.Feed(std::string(size % kMiB, '\0'), Z_FINISH);
    return out;
}

uint32_t CrcOfZeros(uint64_t size) {
    const std::string megabyte(kMiB, '\0');
    const uLong ofMegabyte = crc32(0, reinterpret_cast<const Bytef*>(megabyte.data()), uInt(kMiB));
    uLong crc = 0;
    for (uint64_t i = 0; i < size / kMiB; ++i) crc = crc32_combine(crc, ofMegabyte, z_off_t(kMiB));
    return uint32_t(crc32(crc, reinterpret_cast<const Bytef*>(megabyte.data()), uInt(size % kMiB)));
}

std::string SolidBitmap(int32_t width, int32_t height, RgbQuad colour) {
    Dib picture(width, height, 24);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) picture.SetPixel(x, y, colour);
    return ziptest::toString(EncodePicture(picture));
}

std::string ZeroRleBitmap(int32_t width, int32_t height) {
    std::string rows;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t left = width; left > 0; left -= 255) rows += {char(left < 255 ? left : 255), '\0'};
        rows += {'\0', '\0'};  // end of line
    }
    rows += {'\0', '\1'};  // end of bitmap
    ziptest::Bytes file(14 + 40 + 256 * 4, 0);
    file[0] = 'B', file[1] = 'M';
    Put32(file, 2, uint32_t(file.size() + rows.size()));
    Put32(file, 10, uint32_t(file.size()));
    Put32(file, 14, 40);
    Put32(file, 18, uint32_t(width));
    Put32(file, 22, uint32_t(height));
    Put16(file, 26, 1);
    Put16(file, 28, 8);
    Put32(file, 30, 1);  // RLE8
    Put32(file, 34, uint32_t(rows.size()));
    return ziptest::toString(file) + rows;
}

std::vector<ziptest::Member> SmallSkin(const std::string& folder, RgbQuad colour) {
    return {ziptest::deflated(folder + "main.bmp", SolidBitmap(275, 116, colour)),
            ziptest::deflated(folder + "pledit.txt", SolidSkinText())};
}

ziptest::Bytes RepeatCentralEntry(const ziptest::Bytes& archive, uint16_t count) {
    const size_t end = archive.size() - 22;  // no archive comment
    const size_t centralOffset = Le32(archive, end + 16);
    const size_t entrySize =
        46 + Le16(archive, centralOffset + 28) + Le16(archive, centralOffset + 30) + Le16(archive, centralOffset + 32);
    const ziptest::Bytes entry(archive.begin() + ptrdiff_t(centralOffset),
                               archive.begin() + ptrdiff_t(centralOffset + entrySize));
    const std::string name(entry.begin() + 46, entry.begin() + 46 + Le16(entry, 28));
    const size_t digits = name.find("000");
    if (digits == std::string::npos) throw std::logic_error("the entry's name needs a 000 to number");
    ziptest::Bytes out(archive.begin(), archive.begin() + ptrdiff_t(centralOffset));
    for (uint16_t i = 0; i < count; ++i) {
        ziptest::Bytes copy = entry;
        char number[4];
        std::snprintf(number, sizeof number, "%03u", unsigned(i % 1000));
        for (int k = 0; k < 3; ++k) copy[46 + digits + k] = uint8_t(number[k]);
        out.insert(out.end(), copy.begin(), copy.end());
    }
    ziptest::Bytes record(archive.begin() + ptrdiff_t(end), archive.end());
    Put16(record, 8, count);
    Put16(record, 10, count);
    Put32(record, 12, uint32_t(entrySize * count));
    out.insert(out.end(), record.begin(), record.end());
    return out;
}

ziptest::Bytes WithLocalSize(ziptest::Bytes archive, uint32_t size) {
    Put32(archive, 22, size);
    return archive;
}

std::vector<HostileSkin> MakeHostileSkins() {
    constexpr RgbQuad kRed{0, 0, 200, 0};
    constexpr uint64_t kGiB = uint64_t(1) << 30;
    std::vector<HostileSkin> set;
    const auto add = [&](std::string file, const ziptest::Archive& archive, bool renders, bool refused,
                         std::string reason) {
        set.push_back({std::move(file), ziptest::build(archive), renders, refused, false, std::move(reason)});
    };
    const auto zeros = [](const std::string& name, uint64_t size) {
        ziptest::Member m;
        m.name = name;
        m.method = 8;
        m.packed = DeflatedZeros(size);
        m.crc = CrcOfZeros(size);
        m.uncompressedSize = uint32_t(size);
        return m;
    };

    // A real skin beside 2 GiB of zeros.
    ziptest::Archive bomb;
    bomb.members = SmallSkin("", kRed);
    bomb.members.push_back(zeros("zeros.bin", 2 * kGiB));
    add("Bomb.wsz", bomb, false, true, "declares 2.0 GiB unpacked, more than the 64 MiB a skin may hold");

    // 200 catalogue entries, all pointing at the same 100 MiB of zeros.
    ziptest::Archive shared;
    shared.members = {zeros("zeros000.bin", 100 * kMiB)};
    set.push_back(
        {"Shared.wsz", RepeatCentralEntry(ziptest::build(shared), 200), false, true, false, "declares 19.5 GiB"});

    // Every bitmap 8192 x 8192, a few hundred kilobytes each before compression.
    ziptest::Archive huge;
    for (const char* name :
         {"MAIN.BMP", "CBUTTONS.BMP", "TITLEBAR.BMP", "PLAYPAUS.BMP", "MONOSTER.BMP", "POSBAR.BMP", "SHUFREP.BMP",
          "VOLUME.BMP", "BALANCE.BMP", "TEXT.BMP", "NUMBERS.BMP", "EQMAIN.BMP", "PLEDIT.BMP"})
        huge.members.push_back(ziptest::deflated(name, ZeroRleBitmap(8192, 8192)));
    add("HugeBitmaps.wsz", huge, false, false, "main.bmp is not a readable bitmap");

    // A data descriptor member whose catalogue says 4 KiB while its data inflates to 2 GiB.
    ziptest::Archive descriptor;
    descriptor.members = SmallSkin("", kRed);
    ziptest::Member lying = zeros("zeros.bin", 2 * kGiB);
    lying.flags = 8;
    lying.uncompressedSize = 4096;
    descriptor.members.push_back(lying);
    add("LyingDescriptor.wsz", descriptor, false, false, "a member of the archive cannot be unpacked");
    set.back().onlyUnreadMemberDamaged = true;

    // A local header declaring 2 GiB where the catalogue declares 4 KiB, first in the archive: the
    // library finds the headers disagreeing while reading the catalogue, so however the archive is
    // read, that member is damaged and the skin fails, with nothing decoded.
    ziptest::Archive local;
    ziptest::Member understated = zeros("zeros.bin", 2 * kGiB);
    understated.uncompressedSize = 4096;
    local.members = {understated};
    for (ziptest::Member& m : SmallSkin("", kRed)) local.members.push_back(m);
    set.push_back({"LyingLocalHeader.wsz", WithLocalSize(ziptest::build(local), uint32_t(2 * kGiB)), false, false,
                   false, "a member of the archive cannot be unpacked"});

    // Five thousand tiny members.
    add("ManyMembers.wsz", WithTinyMembers(SmallSkin("", kRed), "", 5002), false, true,
        "holds 5002 members, more than the 256 a skin may have");

    // As many tiny members as a skin may have, beside a real skin.
    add("TinyMembers.wsz", WithTinyMembers(SmallSkin("", kRed), "t/", kSkinMemberLimit), true, false, "");

    // The skin 300 folders down (the library keeps names to 1023 bytes).
    ziptest::Archive deep;
    std::string folder;
    for (int i = 0; i < 300; ++i) folder += "d/";
    deep.members = SmallSkin(folder, kRed);
    add("DeepFolders.wsz", deep, false, true, "nests folders 300 deep, more than the 16 a skin may have");

    // A skin that holds an archive: the inner one is a member like any other, never unpacked.
    ziptest::Archive nested;
    nested.members = SmallSkin("", kRed);
    ziptest::Member inner;
    inner.name = "inner.wsz";
    inner.data = ziptest::toString(set.front().bytes);
    nested.members.push_back(inner);
    add("NestedArchive.wsz", nested, true, false, "");
    return set;
}

SelectionCost SelectLikeTheViewer(const std::string& archive, const std::string& tempFolder, SkinWindows& windows,
                                  bool measureBytes) {
    SelectionCost cost;
    MeasuringPump pump(tempFolder);
    SetPackageEventPump(measureBytes ? &pump : nullptr);
    // The pipeline's own walks of the unpacked tree measure nothing new; they get a pump that does nothing.
    NoEventPump quiet;
    const auto start = std::chrono::steady_clock::now();
    LoadSkinArchive(archive, tempFolder, quiet, [&](std::string& folder) {
        pump.DoEvents();
        std::error_code ec;
        cost.folderHeldFiles = !std::filesystem::is_empty(folder, ec);
        windows.LoadSkin(folder);
    });
    cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SetPackageEventPump(nullptr);
    cost.peakBytes = pump.peak;
    return cost;
}

}  // namespace veltrane::hostile
