#include "Json.h"

#include <cstdlib>
#include <stdexcept>

namespace testjson {

namespace {

struct Parser {
    const std::string& t;
    size_t i = 0;

    [[noreturn]] void fail(const char* what) {
        throw std::runtime_error(std::string(what) + " at " + std::to_string(i));
    }
    void blanks() {
        while (i < t.size() && (t[i] == ' ' || t[i] == '\n' || t[i] == '\r' || t[i] == '\t')) ++i;
    }
    bool take(char c) {
        blanks();
        if (i < t.size() && t[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    void expect(char c) {
        if (!take(c)) fail("unexpected character");
    }
    static void utf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | cp >> 6);
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | cp >> 12);
            out += char(0x80 | (cp >> 6 & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | cp >> 18);
            out += char(0x80 | (cp >> 12 & 0x3F));
            out += char(0x80 | (cp >> 6 & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    unsigned hex4() {
        if (i + 4 > t.size()) fail("short escape");
        unsigned v = unsigned(std::strtoul(t.substr(i, 4).c_str(), nullptr, 16));
        i += 4;
        return v;
    }
    std::string str() {
        expect('"');
        std::string out;
        while (i < t.size() && t[i] != '"') {
            char c = t[i++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i >= t.size()) fail("bad escape");
            char e = t[i++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                unsigned cp = hex4();
                if (cp >= 0xD800 && cp < 0xDC00 && t.compare(i, 2, "\\u") == 0) {
                    i += 2;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (hex4() - 0xDC00);
                }
                utf8(out, cp);
                break;
            }
            default: out += e;
            }
        }
        expect('"');
        return out;
    }
    Value value() {
        blanks();
        Value v;
        if (i >= t.size()) fail("unexpected end");
        char c = t[i];
        if (c == '{') {
            v.kind = Value::Kind::Object;
            ++i;
            if (take('}')) return v;
            do {
                blanks();
                std::string key = str();
                expect(':');
                v.object[key] = value();
            } while (take(','));
            expect('}');
        } else if (c == '[') {
            v.kind = Value::Kind::Array;
            ++i;
            if (take(']')) return v;
            do v.array.push_back(value());
            while (take(','));
            expect(']');
        } else if (c == '"') {
            v.kind = Value::Kind::String;
            v.string = str();
        } else if (t.compare(i, 4, "null") == 0) {
            i += 4;
        } else if (t.compare(i, 4, "true") == 0 || t.compare(i, 5, "false") == 0) {
            v.kind = Value::Kind::Bool;
            v.boolean = t[i] == 't';
            i += v.boolean ? 4 : 5;
        } else {
            v.kind = Value::Kind::Number;
            char* end = nullptr;
            v.number = std::strtod(t.c_str() + i, &end);
            if (end == t.c_str() + i) fail("bad value");
            i = size_t(end - t.c_str());
        }
        return v;
    }
};

}  // namespace

const Value& Value::operator[](const std::string& key) const {
    static const Value none;
    auto it = object.find(key);
    return it == object.end() ? none : it->second;
}

Value parse(const std::string& text) {
    Parser p{text};
    Value v = p.value();
    p.blanks();
    if (p.i != text.size()) p.fail("trailing text");
    return v;
}

}  // namespace testjson
