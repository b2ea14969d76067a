#include "engine/ascii/SchemaFile.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>

#include "engine/core/Errors.h"

namespace kx4::ascii {

namespace {

constexpr int kMaxFields = 1024;
constexpr int kMaxWidth = 4096;
constexpr int kMaxDecimals = 15;

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

[[noreturn]] void schemaError(const std::string& file, int line, const std::string& what) {
    throwEngineError(DBIERR_HEADERCORRUPT,
                     "Schema file " + file + ", line " + std::to_string(line) + ": " + what);
}

bool parseInt(const std::string& text, int& out) {
    const std::string t = trim(text);
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
    return ec == std::errc() && end == t.data() + t.size() && !t.empty();
}

bool typeOfName(const std::string& name, TextType& type) {
    static const std::map<std::string, TextType> kTypes = {
        {"CHAR", TextType::Char},          {"FLOAT", TextType::Float},
        {"NUMBER", TextType::Number},      {"SHORTINT", TextType::Number},
        {"LONGINT", TextType::LongInt},    {"BOOL", TextType::Bool},
        {"DATE", TextType::Date},          {"TIME", TextType::Time},
        {"TIMESTAMP", TextType::Timestamp}};
    const auto it = kTypes.find(upper(trim(name)));
    if (it == kTypes.end()) return false;
    type = it->second;
    return true;
}

// A one-character value: "x", quoted "\"", TAB or \t; empty means none.
char characterValue(const std::string& raw) {
    std::string v = trim(raw);
    if (v.size() == 3 && (v.front() == '\'' || v.front() == '"') && v.back() == v.front())
        v = v.substr(1, 1);
    if (upper(v) == "TAB" || v == "\\t") return '\t';
    return v.empty() ? 0 : v[0];
}

TextField parseField(const std::string& value, const std::string& file, int line) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t comma; (comma = value.find(',', start)) != std::string::npos;
         start = comma + 1)
        parts.push_back(value.substr(start, comma - start));
    parts.push_back(value.substr(start));
    if (parts.size() < 3) schemaError(file, line, "a field needs name, type and width");
    TextField f;
    f.name = trim(parts[0]);
    if (f.name.empty()) schemaError(file, line, "the field has no name");
    if (!typeOfName(parts[1], f.type))
        schemaError(file, line, "unknown field type '" + trim(parts[1]) + "'");
    if (!parseInt(parts[2], f.width) || f.width < 1 || f.width > kMaxWidth)
        schemaError(file, line, "invalid width '" + trim(parts[2]) + "'");
    if (parts.size() > 3 &&
        (!parseInt(parts[3], f.decimals) || f.decimals < 0 || f.decimals > kMaxDecimals))
        schemaError(file, line, "invalid decimals '" + trim(parts[3]) + "'");
    if (parts.size() > 4 && (!parseInt(parts[4], f.offset) || f.offset < 0 || f.offset > 1'000'000))
        schemaError(file, line, "invalid offset '" + trim(parts[4]) + "'");
    return f;
}

}  // namespace

TextSchema parseSchema(const std::string& text, const std::string& file) {
    TextSchema schema;
    std::map<int, TextField> fields;
    bool offsetsGiven = true;
    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::string line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNumber;
        if (line.empty() || line[0] == ';' || line[0] == '\x1A') continue;
        if (line.front() == '[') {
            if (line.back() != ']') schemaError(file, lineNumber, "unterminated section name");
            if (schema.section.empty()) schema.section = trim(line.substr(1, line.size() - 2));
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) schemaError(file, lineNumber, "'=' expected");
        const std::string key = upper(trim(line.substr(0, eq)));
        const std::string value = line.substr(eq + 1);
        if (key == "FILETYPE") {
            const std::string type = upper(trim(value));
            if (type != "FIXED" && type != "VARYING")
                schemaError(file, lineNumber, "FILETYPE must be FIXED or VARYING");
            schema.fixed = type == "FIXED";
        } else if (key == "DELIMITER") {
            schema.delimiter = characterValue(value);
        } else if (key == "SEPARATOR") {
            schema.separator = characterValue(value);
        } else if (key == "CHARSET") {
            schema.charset = trim(value);
        } else if (key.rfind("FIELD", 0) == 0) {
            int number = 0;
            if (!parseInt(key.substr(5), number) || number < 1 || number > kMaxFields)
                schemaError(file, lineNumber, "invalid field key '" + key + "'");
            if (fields.count(number))
                schemaError(file, lineNumber,
                            "field " + std::to_string(number) + " is defined twice");
            fields[number] = parseField(value, file, lineNumber);
            offsetsGiven = offsetsGiven && std::count(value.begin(), value.end(), ',') >= 4;
        }  // other keys (Comment=...) are tools' extensions
        if (end == text.size()) break;
    }
    int expected = 1;
    for (auto& [number, field] : fields) {
        if (number != expected)
            schemaError(file, 0, "field " + std::to_string(expected) + " is missing");
        schema.fields.push_back(field);
        ++expected;
    }
    if (schema.fields.empty()) schemaError(file, 0, "the schema defines no field");
    if (!schema.fixed && schema.separator == 0)
        schemaError(file, 0, "a VARYING table needs a SEPARATOR");
    if (!offsetsGiven) {
        int offset = 0;
        for (auto& f : schema.fields) {
            f.offset = offset;
            offset += f.width;
        }
    }
    return schema;
}

std::string typeName(TextType type) {
    switch (type) {
        case TextType::Char:
            return "CHAR";
        case TextType::Float:
            return "FLOAT";
        case TextType::Number:
            return "NUMBER";
        case TextType::LongInt:
            return "LONGINT";
        case TextType::Bool:
            return "BOOL";
        case TextType::Date:
            return "DATE";
        case TextType::Time:
            return "TIME";
        case TextType::Timestamp:
            return "TIMESTAMP";
    }
    return "CHAR";
}

std::string formatSchema(const TextSchema& schema) {
    std::string out = "[" + schema.section + "]\r\n";
    out += std::string("FILETYPE=") + (schema.fixed ? "FIXED" : "VARYING") + "\r\n";
    if (!schema.fixed) {
        out += "DELIMITER=" + std::string(schema.delimiter ? 1 : 0, schema.delimiter) + "\r\n";
        out += std::string("SEPARATOR=") +
               (schema.separator == '\t' ? std::string("TAB") : std::string(1, schema.separator)) +
               "\r\n";
    }
    out += "CHARSET=" + schema.charset + "\r\n";
    int offset = 0;
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
        const TextField& f = schema.fields[i];
        char numbers[64];
        std::snprintf(numbers, sizeof numbers, "%02d,%02d,%02d", f.width, f.decimals, offset);
        out += "Field" + std::to_string(i + 1) + "=" + f.name + "," + typeName(f.type) + "," +
               numbers + "\r\n";
        offset += f.width;
    }
    return out;
}

int codePageOfCharset(const std::string& charset) {
    const std::string c = upper(charset);
    if (c.empty() || c.find("ANSI") != std::string::npos || c.find("WIN") != std::string::npos)
        return 1252;
    if (c == "ASCII" || c.find("INTL") != std::string::npos) return 437;
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (c[i] >= '0' && c[i] <= '9') {
            int cp = 0;
            std::from_chars(c.data() + i, c.data() + c.size(), cp);
            return cp > 0 ? cp : 1252;
        }
    }
    return 1252;
}

}  // namespace kx4::ascii
