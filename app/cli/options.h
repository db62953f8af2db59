#pragma once
#include <optional>
#include <string>
#include <vector>

// A small reader of "--name value" and "--flag" options.
class Options {
public:
    Options(std::vector<std::string> args, std::vector<std::string> valueOptions, std::vector<std::string> flags);

    // False (with Error() set) on an unknown option or a missing value.
    bool Parse();
    const std::string& Error() const { return FError; }
    std::optional<std::string> Value(const std::string& name) const;
    bool Flag(const std::string& name) const;
    const std::vector<std::string>& Positional() const { return FPositional; }

private:
    std::vector<std::string> FArgs, FValueOptions, FFlags, FPositional;
    std::vector<std::pair<std::string, std::string>> FValues;
    std::vector<std::string> FSetFlags;
    std::string FError;
};
