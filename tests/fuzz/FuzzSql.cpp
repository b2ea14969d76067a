// Parses the input as a local-SQL statement.
#include <string>

#include "engine/core/Errors.h"
#include "engine/sql/AlterTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        kx4::parseAlterTable(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const kx4::EDBEngineError&) {
    }
    return 0;
}
