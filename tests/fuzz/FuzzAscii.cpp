// Opens and reads a text table made of the input: .TXT and its .SCH schema.
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kx4::fuzz::TableFiles files(data, size, "T", {".TXT", ".SCH"});
    kx4::fuzz::exerciseTable(files.directory(), files.dataFile());
    return 0;
}
