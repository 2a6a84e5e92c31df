// A JSON object built field by field, in the order the fields are added.
//
//     JsonObject object;
//     object.Add("command", "status");
//     object.Add("answer", 152u);
//     std::puts(object.Text().c_str());   // {"command":"status","answer":152}
#pragma once

#include <cstdint>
#include <string>

std::string JsonQuote(const std::string &text);

class JsonObject {
public:
    void Add(const char *key, const std::string &value);
    void Add(const char *key, const char *value) { Add(key, std::string(value)); }
    void Add(const char *key, uint64_t value);
    void Add(const char *key, unsigned value) { Add(key, static_cast<uint64_t>(value)); }
    void Add(const char *key, unsigned long value) { Add(key, static_cast<uint64_t>(value)); }
    void AddSigned(const char *key, int64_t value);
    void AddBool(const char *key, bool value);
    void AddNull(const char *key);
    // value is already JSON (an array or an object).
    void AddRaw(const char *key, const std::string &json);

    bool Empty() const { return fields_.empty(); }
    std::string Text() const { return "{" + fields_ + "}"; }

private:
    void AddField(const char *key, const std::string &json);

    std::string fields_;
};

// A JSON array of already-formatted values.
class JsonArray {
public:
    void AddRaw(const std::string &json);
    std::string Text() const { return "[" + items_ + "]"; }

private:
    std::string items_;
};
