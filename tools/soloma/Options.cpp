#include "Options.h"

#include <algorithm>

namespace Varnik::Soloma::Cli {
namespace {

const OptionInfo* FindOption(const std::vector<OptionInfo>& known, const std::string& name) {
    for (const OptionInfo& option : known) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

bool Options::Parse(const std::vector<OptionInfo>& known, const std::vector<std::string>& args,
                    std::string* error) {
    _values.clear();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "-h" || word == "--help") {
            _values["help"] = "";
            continue;
        }
        if (!StartsWith(word, "--") || word.size() == 2) {
            *error = "unexpected argument '" + word + "'";
            return false;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(2, equals == std::string::npos ? equals : equals - 2);
        const OptionInfo* option = FindOption(known, name);
        if (option == nullptr) {
            *error = "unknown option '--" + name + "'";
            return false;
        }
        if (_values.count(name) != 0) {
            *error = "option '--" + name + "' given more than once";
            return false;
        }
        std::string value;
        if (option->valueName.empty()) {
            if (equals != std::string::npos) {
                *error = "option '--" + name + "' takes no value";
                return false;
            }
        } else if (equals != std::string::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < args.size() && !StartsWith(args[i + 1], "--")) {
            value = args[++i];
        } else {
            *error = "option '--" + name + "' needs a value (" + option->valueName + ")";
            return false;
        }
        if (!option->valueName.empty() && value.empty()) {
            *error = "option '--" + name + "' needs a non-empty value";
            return false;
        }
        _values[name] = value;
    }
    return true;
}

bool Options::Has(const std::string& name) const {
    return _values.count(name) != 0;
}

std::string Options::Get(const std::string& name, const std::string& fallback) const {
    const auto found = _values.find(name);
    return found == _values.end() ? fallback : found->second;
}

std::string FormatOptions(std::vector<OptionInfo> known) {
    known.push_back({"help", "", "show this help"});
    std::vector<std::string> heads;
    std::size_t width = 0;
    for (const OptionInfo& option : known) {
        std::string head = "--" + option.name;
        if (!option.valueName.empty()) {
            head += " " + option.valueName;
        }
        width = std::max(width, head.size());
        heads.push_back(head);
    }
    std::string text;
    for (std::size_t i = 0; i < known.size(); ++i) {
        text +=
            "  " + heads[i] + std::string(width - heads[i].size() + 3, ' ') + known[i].help + "\n";
    }
    return text;
}

}  // namespace Varnik::Soloma::Cli
