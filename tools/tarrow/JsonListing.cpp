#include "JsonListing.h"

#include "Front.h"
#include "base/Json.h"
#include "base/Utf8.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace tarrowcli {

std::string jsonString(const std::string& text, bool* wasUtf8) {
    if (wasUtf8) *wasUtf8 = veltrane::text::IsUtf8(text);
    return veltrane::text::JsonString(text);
}

namespace {

std::string methodLabel(unsigned method) { return method == 8 ? "Deflate" : methodName(int(method) * 10); }

// The time as local time in ISO 8601 with its offset from UTC, e.g. 2026-12-08T10:00:00+01:00.
std::string isoTime(int64_t seconds) {
    const time_t t = time_t(seconds);
    struct tm local {};
    if (!localtime_r(&t, &local)) return "";
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff / 60;
    char zone[32];
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 60,
                  std::labs(offset) % 60);
    return std::string(text) + zone;
}

std::string hex(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) out += {kHex[b >> 4], kHex[b & 15]};
    return out;
}

}  // namespace

std::string jsonEntry(const tarrow_entry& e) {
    const std::string name = e.name ? e.name : "";
    bool utf8 = true;
    std::string out = "{\"name\":" + jsonString(name, &utf8);
    // A name that is not UTF-8 also comes as its bytes, so that nothing of it is lost.
    if (!utf8) out += ",\"name_bytes\":\"" + hex(name) + "\"";
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", unsigned(e.crc32));
    out += ",\"size\":" + std::to_string(e.size) + ",\"compressed_size\":" + std::to_string(e.compressed_size) +
           ",\"method\":" + std::to_string(e.method) + ",\"method_name\":" + jsonString(methodLabel(e.method)) +
           ",\"crc32\":\"" + crc + "\",\"mtime\":" + std::to_string(e.mtime) +
           ",\"time\":" + jsonString(isoTime(e.mtime)) + ",\"attributes\":" + std::to_string(e.attributes);
    auto flag = [&](const char* key, bool value) {
        out += std::string(",\"") + key + "\":" + (value ? "true" : "false");
    };
    flag("folder", e.flags & TARROW_ENTRY_FOLDER);
    flag("symlink", e.flags & TARROW_ENTRY_SYMLINK);
    flag("encrypted", e.flags & TARROW_ENTRY_ENCRYPTED);
    flag("recovered", e.flags & TARROW_ENTRY_RECOVERED);
    flag("damaged", e.damage != nullptr);
    out += ",\"damage\":" + (e.damage ? jsonString(e.damage) : std::string("null")) + "}";
    return out;
}

bool listJson(const std::string& path, const tarrow_open_options& options,
              const std::function<bool(const std::string&)>& selected, std::ostream& out, size_t& damaged,
              std::string& error) {
    damaged = 0;
    tarrow_archive* handle = nullptr;
    if (int code = tarrow_open_with(path.c_str(), &options, &handle); code != TARROW_OK) {
        error = path + ": " + tarrow_strerror(code);
        return false;
    }
    std::unique_ptr<tarrow_archive, decltype(&tarrow_close)> archive(handle, tarrow_close);
    for (size_t i = 0; i < tarrow_entry_count(handle); ++i) {
        tarrow_entry e{};
        if (tarrow_entry_at(handle, i, &e) != TARROW_OK || !selected(e.name)) continue;
        out << jsonEntry(e) << '\n';
        if (e.damage) ++damaged;
    }
    out.flush();
    if (!out) error = "the listing could not be written";
    return static_cast<bool>(out);
}

}  // namespace tarrowcli
