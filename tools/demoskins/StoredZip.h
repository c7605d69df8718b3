// A minimal ZIP writer for build-time demo data: members are stored uncompressed, with their CRC-32,
// local headers, a central directory and the end record. Not a general archiver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::demo {

uint32_t Crc32(const std::vector<uint8_t>& data);

class StoredZip {
public:
    void Add(const std::string& name, std::vector<uint8_t> data);
    // Writes the archive; false when the file cannot be written.
    bool Write(const std::string& path) const;

private:
    struct Member {
        std::string name;
        std::vector<uint8_t> data;
    };
    std::vector<Member> m_members;
};

}  // namespace veltrane::demo
