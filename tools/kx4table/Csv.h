#pragma once
// CSV as RFC 4180 defines it, so that any reader gets back the fields written.
#include <ostream>
#include <string>
#include <vector>

namespace kx4::tool {

// One record followed by CRLF. A field holding a comma, a quote, CR or LF is quoted with its
// quotes doubled; a record of a single empty field is written as "" because an empty line
// reads back as no record at all.
void writeCsvRecord(std::ostream& out, const std::vector<std::string>& fields);

}  // namespace kx4::tool
