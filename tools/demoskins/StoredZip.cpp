#include "StoredZip.h"

#include <array>
#include <fstream>

namespace veltrane::demo {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// The fixed part shared by local and central headers: version needed, flags, method 0 (stored),
// DOS time and date (1 Jan 2000, midnight), CRC-32, both sizes, name length.
void PutCommon(std::vector<uint8_t>& out, uint32_t crc, uint32_t size, std::size_t nameLength) {
    Put16(out, 10);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, (2000 - 1980) << 9 | 1 << 5 | 1);
    Put32(out, crc);
    Put32(out, size);
    Put32(out, size);
    Put16(out, uint32_t(nameLength));
}

}  // namespace

uint32_t Crc32(const std::vector<uint8_t>& data) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void StoredZip::Add(const std::string& name, std::vector<uint8_t> data) {
    m_members.push_back({name, std::move(data)});
}

bool StoredZip::Write(const std::string& path) const {
    std::vector<uint8_t> out, central;
    for (const Member& m : m_members) {
        const uint32_t crc = Crc32(m.data), offset = uint32_t(out.size()), size = uint32_t(m.data.size());
        Put32(out, 0x04034B50);
        PutCommon(out, crc, size, m.name.size());
        Put16(out, 0);  // extra field length
        out.insert(out.end(), m.name.begin(), m.name.end());
        out.insert(out.end(), m.data.begin(), m.data.end());

        Put32(central, 0x02014B50);
        Put16(central, 20);  // made by: MS-DOS, version 2.0
        PutCommon(central, crc, size, m.name.size());
        for (int i = 0; i < 4; ++i) Put16(central, 0);  // extra, comment, disk, internal attributes
        Put32(central, 0);                              // external attributes
        Put32(central, offset);
        central.insert(central.end(), m.name.begin(), m.name.end());
    }
    const uint32_t directoryOffset = uint32_t(out.size());
    out.insert(out.end(), central.begin(), central.end());
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, uint32_t(m_members.size()));
    Put16(out, uint32_t(m_members.size()));
    Put32(out, uint32_t(central.size()));
    Put32(out, directoryOffset);
    Put16(out, 0);  // comment length

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    return bool(file);
}

}  // namespace veltrane::demo
