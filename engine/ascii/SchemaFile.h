#pragma once
// The .SCH schema of a text table: an INI-style file naming the layout (FIXED or VARYING), the
// character set and one line per field ("Field1 = Name,CHAR,20,00,00").
#include <string>
#include <vector>

namespace kx4::ascii {

enum class TextType { Char, Float, Number, LongInt, Bool, Date, Time, Timestamp };

struct TextField {
    std::string name;
    TextType type = TextType::Char;
    int width = 0;
    int decimals = 0;
    int offset = 0;  // 0-based column in a FIXED line
};

struct TextSchema {
    std::string section;  // the data file's name without extension
    bool fixed = true;
    char delimiter = '"';  // around CHAR values of VARYING lines; 0 = none
    char separator = ',';  // between values of VARYING lines
    std::string charset = "ANSIINTL";
    std::vector<TextField> fields;
};

// Parses schema text; raises DBIERR_HEADERCORRUPT naming `file` and the offending line.
TextSchema parseSchema(const std::string& text, const std::string& file);
// Schema text as tools write it: upper-case keys, no blanks, two-digit numbers, offsets as the
// running sum of the widths, CR LF line ends.
std::string formatSchema(const TextSchema& schema);

std::string typeName(TextType type);
// Code page of a CHARSET value: "ascii" 437, "ANSIINTL"/Windows drivers 1252, "DB866RU0" 866.
int codePageOfCharset(const std::string& charset);

}  // namespace kx4::ascii
