// A small JSON reader for the corpus manifest: objects, arrays, strings (with \u escapes, written
// out as UTF-8), numbers, booleans and null. Throws std::runtime_error on malformed input.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testjson {

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Value> array;
    std::map<std::string, Value> object;

    const Value& operator[](const std::string& key) const;
    bool has(const std::string& key) const { return object.count(key) != 0; }
};

Value parse(const std::string& text);

}  // namespace testjson
