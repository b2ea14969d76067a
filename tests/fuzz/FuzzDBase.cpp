// Opens and reads a dBase table made of the input: .DBF, .DBT, .MDX.
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kx4::fuzz::TableFiles files(data, size, "T", {".DBF", ".DBT", ".MDX"});
    kx4::fuzz::exerciseTable(files.directory(), files.dataFile());
    return 0;
}
