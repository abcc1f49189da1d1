#pragma once

#include "compare/comparison.h"
#include "support/errors.h"

#include <optional>
#include <string>
#include <vector>

namespace korvista::cli {

enum class OutputFormat { Text, Tsv, Json };

struct CliOptions {
    enum class Mode { Run, Help, Version };

    Mode mode = Mode::Run;
    std::string connection1;
    std::string connection2;
    std::optional<std::string> settingsFile; // both strings come from here instead
    CompareSwitches switches;
    OutputFormat format = OutputFormat::Text;
};

// A command line that cannot be run; the message names what is wrong.
class UsageError : public Error {
public:
    using Error::Error;
};

// The arguments after the program name; throws UsageError.
CliOptions ParseCliOptions(const std::vector<std::string>& args);

std::string UsageText();
std::string VersionText();

} // namespace korvista::cli
