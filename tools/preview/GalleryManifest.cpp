#include "GalleryManifest.h"

#include <charconv>

namespace veltrane::preview {
namespace {

void AppendEscaped(std::string& out, const std::string& field) {
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

bool Unescape(const std::string& field, std::string& out) {
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
bool ParseWhole(const std::string& text, Number& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

std::string FormatManifest(const std::vector<GalleryRecord>& records) {
    std::string out = kManifestFirstLine;
    out += '\n';
    for (const GalleryRecord& r : records) {
        AppendEscaped(out, r.skin);
        out += '\t' + std::to_string(r.stamp.size) + '\t' + std::to_string(r.stamp.mtime) + '\t';
        AppendEscaped(out, r.format);
        out += '\t';
        AppendEscaped(out, r.preview);
        out += '\t';
        AppendEscaped(out, SerializeFacts(r.facts));
        out += '\n';
    }
    return out;
}

std::vector<GalleryRecord> ParseManifest(const std::string& text) {
    std::vector<GalleryRecord> records;
    std::size_t at = text.find('\n');
    if (at == std::string::npos) return records;
    const bool withFacts = text.compare(0, at, kManifestFirstLine) == 0;
    if (!withFacts && text.compare(0, at, kManifestFirstLineWithoutFacts) != 0) return records;
    std::string facts;
    while (++at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) break;  // a last line without its end was cut short
        const std::vector<std::string> fields = SplitTabs(text.substr(at, end - at));
        at = end;
        GalleryRecord r;
        if ((fields.size() != 5 && fields.size() != 6) || !Unescape(fields[0], r.skin) || r.skin.empty() ||
            !ParseWhole(fields[1], r.stamp.size) || !ParseWhole(fields[2], r.stamp.mtime) ||
            !Unescape(fields[3], r.format) || !Unescape(fields[4], r.preview) || !IsPlainFileName(r.preview))
            continue;
        // Without facts the preview is still the gallery's own, but the skin is rendered again.
        if (!withFacts || fields.size() != 6 || !Unescape(fields[5], facts) || !DeserializeFacts(facts, r.facts))
            r.format.clear();
        records.push_back(std::move(r));
    }
    return records;
}

}  // namespace veltrane::preview
