#include "GalleryManifest.h"

#include <charconv>
#include <string_view>

namespace veltrane::preview {
namespace {

constexpr const char* kTextsFileFirstWord = "veltrane-gallery-texts ";

void AppendEscaped(std::string& out, std::string_view field) {
    for (const char c : field) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
}

bool Unescape(std::string_view field, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) return false;
        switch (field[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: return false;
        }
    }
    return true;
}

template <typename Number>
bool ParseWhole(std::string_view text, Number& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line.remove_prefix(tab + 1);
    }
}

void AppendFields(std::string& out, std::initializer_list<std::string_view> fields) {
    bool first = true;
    for (const std::string_view field : fields) {
        if (!first) out += '\t';
        first = false;
        AppendEscaped(out, field);
    }
    out += '\n';
}

void AppendWritten(std::string& out, const WrittenFile& file) {
    out += '\t' + std::to_string(file.stamp.size) + '\t' + std::to_string(file.stamp.mtime) + '\t' + file.hash;
}

bool ParseWritten(const std::vector<std::string_view>& fields, std::size_t at, WrittenFile& file) {
    return ParseWhole(fields[at], file.stamp.size) && ParseWhole(fields[at + 1], file.stamp.mtime) &&
           Unescape(fields[at + 2], file.hash);
}

// A record of version 2 or 3 (the facts, and from version 3 where the text is and why a skin failed).
bool ParseRecord(const std::vector<std::string_view>& fields, int version, GalleryRecord& r) {
    if (fields.size() < 5 || !Unescape(fields[0], r.skin) || r.skin.empty() || !ParseWhole(fields[1], r.stamp.size) ||
        !ParseWhole(fields[2], r.stamp.mtime) || !Unescape(fields[3], r.format) || !Unescape(fields[4], r.preview))
        return false;
    if (version < 3) {
        if (!IsPlainFileName(r.preview) || fields.size() > 6) return false;
        std::string facts;
        // Without facts the preview is still the gallery's own, but the skin is rendered again.
        if (version < 2 || fields.size() != 6 || !Unescape(fields[5], facts) || !DeserializeFacts(facts, r.facts))
            r.format.clear();
        return true;
    }
    std::string facts;
    if (fields.size() != 9 || (!r.preview.empty() && !IsPlainFileName(r.preview)) || !Unescape(fields[5], facts) ||
        !ParseWhole(fields[6], r.textAt) || !ParseWhole(fields[7], r.textLength) || !Unescape(fields[8], r.reason))
        return false;
    if (!DeserializeFacts(facts, r.facts)) {
        if (r.preview.empty()) return false;  // a failure without facts tells nothing
        r.format.clear();
    }
    return true;
}

}  // namespace

std::string FormatManifest(const GalleryManifest& manifest) {
    std::string out = kManifestFirstLinePrefix + std::to_string(kManifestVersion) + "\n";
    AppendFields(out, {"texts", manifest.textsHash, std::to_string(manifest.textsSize)});
    out += "page\t";
    AppendEscaped(out, manifest.pageKey);
    AppendWritten(out, manifest.page);
    AppendWritten(out, manifest.data);
    out += '\n';
    for (const GalleryRecord& r : manifest.records) {
        SkinFacts facts = r.facts;
        facts.text.clear();
        AppendFields(out, {r.skin, std::to_string(r.stamp.size), std::to_string(r.stamp.mtime), r.format, r.preview,
                           SerializeFacts(facts), std::to_string(r.textAt), std::to_string(r.textLength), r.reason});
    }
    return out;
}

GalleryManifest ParseManifest(const std::string& text) {
    GalleryManifest manifest;
    std::size_t at = text.find('\n');
    const std::string_view prefix = kManifestFirstLinePrefix;
    int version = 0;
    if (at == std::string::npos || text.compare(0, prefix.size(), prefix) != 0 ||
        !ParseWhole(std::string_view(text).substr(prefix.size(), at - prefix.size()), version) || version < 1 ||
        version > kManifestVersion)
        return manifest;
    manifest.version = version;
    while (++at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) break;  // a last line without its end was cut short
        const std::vector<std::string_view> fields = SplitTabs(std::string_view(text).substr(at, end - at));
        at = end;
        if (version >= 3 && fields[0] == "texts") {
            if (fields.size() != 3 || !Unescape(fields[1], manifest.textsHash) ||
                !ParseWhole(fields[2], manifest.textsSize))
                manifest.textsHash.clear();
            continue;
        }
        if (version >= 3 && fields[0] == "page") {
            if (fields.size() != 8 || !Unescape(fields[1], manifest.pageKey) ||
                !ParseWritten(fields, 2, manifest.page) || !ParseWritten(fields, 5, manifest.data))
                manifest.pageKey.clear();
            continue;
        }
        GalleryRecord r;
        if (ParseRecord(fields, version, r)) manifest.records.push_back(std::move(r));
    }
    return manifest;
}

std::string TextsFileHead(const std::string& bodyHash) { return kTextsFileFirstWord + bodyHash + "\n"; }

}  // namespace veltrane::preview
