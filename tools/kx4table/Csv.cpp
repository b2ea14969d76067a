#include "tools/kx4table/Csv.h"

namespace kx4::tool {

namespace {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

void writeCsvRecord(std::ostream& out, const std::vector<std::string>& fields) {
    if (fields.size() == 1 && fields[0].empty()) {
        out << "\"\"\r\n";
        return;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) out << (i ? "," : "") << csvField(fields[i]);
    out << "\r\n";
}

}  // namespace kx4::tool
