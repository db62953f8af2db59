#include "app/cli/options.h"

#include <algorithm>

Options::Options(std::vector<std::string> args, std::vector<std::string> valueOptions, std::vector<std::string> flags)
    : FArgs(std::move(args)), FValueOptions(std::move(valueOptions)), FFlags(std::move(flags))
{
}

bool Options::Parse()
{
    auto has = [](const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) != v.end();
    };
    for (std::size_t i = 0; i < FArgs.size(); ++i) {
        const std::string& arg = FArgs[i];
        if (arg.size() > 2 && arg.starts_with("--")) {
            if (has(FValueOptions, arg)) {
                if (i + 1 >= FArgs.size()) {
                    FError = "option " + arg + " needs a value";
                    return false;
                }
                FValues.emplace_back(arg, FArgs[++i]);
            } else if (has(FFlags, arg)) {
                FSetFlags.push_back(arg);
            } else {
                FError = "unknown option: " + arg;
                return false;
            }
        } else {
            FPositional.push_back(arg);
        }
    }
    return true;
}

std::optional<std::string> Options::Value(const std::string& name) const
{
    std::optional<std::string> value;
    for (const auto& [key, v] : FValues) {
        if (key == name)
            value = v; // the last one wins
    }
    return value;
}

bool Options::Flag(const std::string& name) const
{
    return std::find(FSetFlags.begin(), FSetFlags.end(), name) != FSetFlags.end();
}
