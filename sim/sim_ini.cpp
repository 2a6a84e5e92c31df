#include "sim/sim_ini.h"

#include "sim/sim_text.h"

namespace qrmtov_sim {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool IsComment(const std::string &line)
{
    return line.empty() || line[0] == ';' || line[0] == '#';
}

bool IsSectionHeader(const std::string &line)
{
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

bool SameName(const std::string &a, const std::string &b)
{
    return LowerAscii(a) == LowerAscii(b);
}

std::string StripBom(const std::string &text)
{
    return text.compare(0, 3, kUtf8Bom) == 0 ? text.substr(3) : text;
}

} // namespace

IniDocument IniDocument::Parse(const std::string &text)
{
    IniDocument document;
    IniSection *current = nullptr;
    for (const std::string &rawLine : SplitOn(StripBom(text), '\n')) {
        const std::string line = TrimSpaces(rawLine);
        if (IsComment(line))
            continue;
        if (IsSectionHeader(line)) {
            const std::string name = TrimSpaces(line.substr(1, line.size() - 2));
            current = document.FindMutableSection(name);
            if (current == nullptr) {
                document.sections_.push_back(IniSection{name, {}});
                current = &document.sections_.back();
            }
            continue;
        }
        const size_t equals = line.find('=');
        if (current == nullptr || equals == std::string::npos)
            continue;
        current->entries.push_back(IniEntry{TrimSpaces(line.substr(0, equals)), TrimSpaces(line.substr(equals + 1))});
    }
    return document;
}

std::string IniDocument::Serialize() const
{
    std::string text;
    for (const IniSection &section : sections_) {
        text += "[" + section.name + "]\r\n";
        for (const IniEntry &entry : section.entries)
            text += entry.key + "=" + entry.value + "\r\n";
    }
    return text;
}

const IniSection *IniDocument::FindSection(const std::string &name) const
{
    for (const IniSection &section : sections_) {
        if (SameName(section.name, name))
            return &section;
    }
    return nullptr;
}

// The first of duplicate keys wins, as with GetPrivateProfileString.
const std::string *IniDocument::FindValue(const std::string &section, const std::string &key) const
{
    const IniSection *found = FindSection(section);
    if (found == nullptr)
        return nullptr;
    for (const IniEntry &entry : found->entries) {
        if (SameName(entry.key, key))
            return &entry.value;
    }
    return nullptr;
}

void IniDocument::SetValue(const std::string &section, const std::string &key, const std::string &value)
{
    IniSection *target = FindMutableSection(section);
    if (target == nullptr) {
        sections_.push_back(IniSection{section, {}});
        target = &sections_.back();
    }
    for (IniEntry &entry : target->entries) {
        if (SameName(entry.key, key)) {
            entry.value = value;
            return;
        }
    }
    target->entries.push_back(IniEntry{key, value});
}

IniSection *IniDocument::FindMutableSection(const std::string &name)
{
    for (IniSection &section : sections_) {
        if (SameName(section.name, name))
            return &section;
    }
    return nullptr;
}

} // namespace qrmtov_sim
