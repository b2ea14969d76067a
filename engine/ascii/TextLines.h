#pragma once
// One record of a text table as a line: fixed columns, or separated values with CHAR values
// enclosed in the delimiter (a doubled delimiter inside stands for one).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ascii/SchemaFile.h"

namespace kx4::ascii {

// The field texts of a line (CHAR values without their delimiters and trailing blanks, other
// values trimmed); nullopt when the line does not match the layout.
std::optional<std::vector<std::string>> splitLine(const TextSchema& schema, std::string_view line);
// A line (without line end) from field texts that already fit their widths; raises
// DBIERR_INVALIDFLDXFORM naming the field when a VARYING value holds the delimiter or separator
// it cannot be told apart from.
std::string joinLine(const TextSchema& schema, const std::vector<std::string>& texts);

}  // namespace kx4::ascii
