#pragma once
// Reads tables with pxlib, the independent Paradox library, for cross-checks. Blob fields are
// skipped: pxlib crashes on some of them.
#include <string>
#include <vector>

namespace kx4::test {

struct PxlibTable {
    std::vector<std::string> fieldNames;
    std::vector<int> fieldTypes;
    std::vector<std::vector<std::string>> records;  // canonical text, "<blob>" for blob fields
    int recordCount = 0;
    int codePage = 0;   // as the header states it; 0 when it names none
    std::string error;  // set when pxlib refused the file
};

// Text values are converted to UTF-8 by pxlib when the header names a code page.
PxlibTable readWithPxlib(const std::string& path);

}  // namespace kx4::test
