#include "arguments.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Options followed by a value; every other "--name" is a flag.
constexpr const char *kValueOptions[] = {
    "--handle", "--timeout", "--count", "--text", "--size", "--interval", "--answer-timeout", "--exe",
};

bool TakesValue(const std::string &name)
{
    for (const char *option : kValueOptions) {
        if (name == option)
            return true;
    }
    return false;
}

bool IsOption(const std::string &word)
{
    return word.size() > 2 && word[0] == '-' && word[1] == '-';
}

} // namespace

bool ParseInvocation(int argc, char **argv, Invocation *invocation, std::string *error)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (optionsEnded || (!IsOption(word) && word != "-h")) {
            invocation->positionals.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "-h")
            word = "--help";
        std::string value;
        const size_t equals = word.find('=');
        if (equals != std::string::npos) {
            value = word.substr(equals + 1);
            word.resize(equals);
        } else if (TakesValue(word)) {
            if (i + 1 >= argc) {
                *error = "option " + word + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        invocation->options.emplace_back(word, value);
    }
    return true;
}

bool HasOption(const Invocation &invocation, const char *name)
{
    return OptionValue(invocation, name) != nullptr;
}

const std::string *OptionValue(const Invocation &invocation, const char *name)
{
    const std::string *found = nullptr;
    for (const auto &option : invocation.options) {
        if (option.first == name)
            found = &option.second;
    }
    return found;
}

bool ParseNumber(const std::string &text, DWORD *value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char *end = nullptr;
    errno = 0;
    const unsigned long long number = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || number > 0xFFFFFFFFull)
        return false;
    *value = static_cast<DWORD>(number);
    return true;
}
