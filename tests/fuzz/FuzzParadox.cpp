// Opens and reads a Paradox table made of the input: .DB, .PX, .MB, .X02, .Y02, .XG0, .YG0.
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kx4::fuzz::TableFiles files(data, size, "T",
                                {".DB", ".PX", ".MB", ".X02", ".Y02", ".XG0", ".YG0"});
    kx4::fuzz::exerciseTable(files.directory(), files.dataFile());
    return 0;
}
