// A minimal INI reader/writer: the settings file and the data store share it.
// Parsed by hand rather than through the profile API so that a file rewritten by
// another process is always read as it is on disk, never from a cache.
#pragma once

#include <string>
#include <vector>

namespace qrmtov_sim {

struct IniEntry {
    std::string key;
    std::string value;
};

struct IniSection {
    std::string name;
    std::vector<IniEntry> entries;
};

// Section and key names match without regard to case, as Windows' own INI files do.
class IniDocument {
public:
    static IniDocument Parse(const std::string &text);
    std::string Serialize() const;

    const IniSection *FindSection(const std::string &name) const;
    const std::string *FindValue(const std::string &section, const std::string &key) const;
    void SetValue(const std::string &section, const std::string &key, const std::string &value);

private:
    IniSection *FindMutableSection(const std::string &name);

    std::vector<IniSection> sections_;
};

} // namespace qrmtov_sim
