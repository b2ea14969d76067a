#include "tests/fuzz/FuzzInput.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/Table.h"
#include "engine/TableMaintenance.h"
#include "engine/core/Errors.h"
#include "engine/core/TableFormat.h"

namespace kx4::fuzz {

namespace {

std::string makeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kx4fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    return pattern;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

TableFiles::TableFiles(const std::uint8_t* data, std::size_t size, const std::string& stem,
                       const std::vector<std::string>& extensions)
    : dir_(makeTempDir()), dataFile_(stem + extensions.front()) {
    std::size_t at = 0;
    std::size_t part = 0;
    bool framed = true;
    while (at + 4 <= size && part < extensions.size()) {
        std::uint32_t length;
        std::memcpy(&length, data + at, 4);
        if (length > size - at - 4) {
            framed = part > 0;
            break;
        }
        writeFile(dir_ + "/" + stem + extensions[part], data + at + 4, length);
        at += 4 + length;
        ++part;
    }
    if (part == 0 || !framed) writeFile(dir_ + "/" + dataFile_, data, size);
}

TableFiles::~TableFiles() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void exerciseTable(const std::string& directory, const std::string& fileName) {
    try {
        TTable table;
        table.DatabaseName = directory;
        table.TableName = fileName;
        table.Open();
        table.IndexDefs().Update();
        auto records = table.Records();
        Record record;
        for (int n = 0; n < 100000 && records->next(record); ++n) {
        }
        table.File().check();
    } catch (const EDatabaseError&) {
        // A clear engine error is the expected answer to a damaged file.
    }
    // A pack reads every record, memo and index entry it can take over as stored bytes.
    try {
        TableFormat& format = formatFor(TTableType::ttDefault, fileName);
        if (!format.canRestructure()) return;
        auto file = format.open(TablePath{directory, fileName}, OpenOptions{true, nullptr});
        packTable(format, *file);
    } catch (const EDatabaseError&) {
    }
}

}  // namespace kx4::fuzz
