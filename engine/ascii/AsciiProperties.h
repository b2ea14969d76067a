#pragma once
// What a rewrite of a text table carries over: its layout and character set.
#include "engine/ascii/SchemaFile.h"
#include "engine/core/TableFormat.h"

namespace kx4::ascii {

struct AsciiProperties : FormatProperties {
    bool fixed = true;  // tables the engine creates are FIXED
    char delimiter = '"';
    char separator = ',';
    std::string charset = "ANSIINTL";
};

}  // namespace kx4::ascii
