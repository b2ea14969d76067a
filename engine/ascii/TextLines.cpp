#include "engine/ascii/TextLines.h"

#include "engine/core/Errors.h"

namespace kx4::ascii {

namespace {

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string_view trimBoth(std::string_view s) {
    s = trimRight(s);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

std::vector<std::string> splitFixed(const TextSchema& schema, std::string_view line) {
    std::vector<std::string> out;
    for (const auto& f : schema.fields) {
        std::string_view part;
        if (static_cast<std::size_t>(f.offset) < line.size())
            part =
                line.substr(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.width));
        out.emplace_back(f.type == TextType::Char ? trimRight(part) : trimBoth(part));
    }
    return out;
}

std::optional<std::vector<std::string>> splitVarying(const TextSchema& schema,
                                                     std::string_view line) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    const char quote = schema.delimiter, sep = schema.separator;
    while (out.size() < schema.fields.size()) {
        std::string value;
        // Blanks before a delimited value are not part of it.
        std::size_t start = pos;
        while (start < line.size() && line[start] == ' ' && sep != ' ') ++start;
        if (quote && start < line.size() && line[start] == quote) {
            std::size_t i = start + 1;
            for (;; ++i) {
                if (i >= line.size()) return std::nullopt;  // unterminated
                if (line[i] != quote) {
                    value += line[i];
                } else if (i + 1 < line.size() && line[i + 1] == quote) {
                    value += quote;
                    ++i;
                } else {
                    break;
                }
            }
            pos = i + 1;
            while (pos < line.size() && line[pos] == ' ' && sep != ' ') ++pos;
            if (pos < line.size() && line[pos] != sep) return std::nullopt;
            value = std::string(trimRight(value));
        } else {
            const std::size_t end = std::min(line.find(sep, pos), line.size());
            value = std::string(trimBoth(line.substr(pos, end - pos)));
            pos = end;
        }
        out.push_back(std::move(value));
        if (pos >= line.size()) break;
        ++pos;  // the separator
    }
    if (pos < line.size()) return std::nullopt;  // more values than fields
    out.resize(schema.fields.size());            // missing trailing values are blank
    return out;
}

}  // namespace

std::optional<std::vector<std::string>> splitLine(const TextSchema& schema, std::string_view line) {
    if (schema.fixed) return splitFixed(schema, line);
    return splitVarying(schema, line);
}

std::string joinLine(const TextSchema& schema, const std::vector<std::string>& texts) {
    std::string line;
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
        const TextField& f = schema.fields[i];
        const std::string& text = texts[i];
        if (schema.fixed) {
            const std::size_t pad = static_cast<std::size_t>(f.width) - text.size();
            line += f.type == TextType::Char ? text + std::string(pad, ' ')
                                             : std::string(pad, ' ') + text;
            continue;
        }
        if (i > 0) line += schema.separator;
        const bool quoted = f.type == TextType::Char && schema.delimiter;
        if ((quoted && text.find(schema.delimiter) != std::string::npos) ||
            (!quoted && text.find(schema.separator) != std::string::npos))
            throwEngineError(DBIERR_INVALIDFLDXFORM,
                             "Field " + f.name + ": the value contains the table's " +
                                 (quoted ? "delimiter" : "separator") + " character");
        line += quoted ? schema.delimiter + text + schema.delimiter : text;
    }
    return line;
}

}  // namespace kx4::ascii
