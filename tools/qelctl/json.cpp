#include "json.h"

#include <cstdio>

std::string JsonQuote(const std::string &text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            // Control characters and bytes outside ASCII are escaped, so the output is
            // valid whatever the code page of the text.
            if (byte < 0x20 || byte >= 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof(escape), "\\u%04x", byte);
                quoted += escape;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

void JsonObject::Add(const char *key, const std::string &value)
{
    AddField(key, JsonQuote(value));
}

void JsonObject::Add(const char *key, uint64_t value)
{
    AddField(key, std::to_string(value));
}

void JsonObject::AddSigned(const char *key, int64_t value)
{
    AddField(key, std::to_string(value));
}

void JsonObject::AddBool(const char *key, bool value)
{
    AddField(key, value ? "true" : "false");
}

void JsonObject::AddNull(const char *key)
{
    AddField(key, "null");
}

void JsonObject::AddRaw(const char *key, const std::string &json)
{
    AddField(key, json);
}

void JsonObject::AddField(const char *key, const std::string &json)
{
    if (!fields_.empty())
        fields_ += ",";
    fields_ += JsonQuote(key) + ":" + json;
}

void JsonArray::AddRaw(const std::string &json)
{
    if (!items_.empty())
        items_ += ",";
    items_ += json;
}
