#pragma once
// Turns one fuzzer input into the files of a table in a private temporary directory.
//
// Input layout: a sequence of parts, each a 4-byte little-endian length followed by that many
// bytes. Part i becomes the file named extensions[i] (data file first); missing parts are
// absent files. An input without a valid length prefix is the data file alone.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kx4::fuzz {

class TableFiles {
  public:
    TableFiles(const std::uint8_t* data, std::size_t size, const std::string& stem,
               const std::vector<std::string>& extensions);
    ~TableFiles();
    const std::string& directory() const { return dir_; }
    const std::string& dataFile() const { return dataFile_; }

  private:
    std::string dir_;
    std::string dataFile_;
};

// Reads every live record and the index definitions; engine errors are expected outcomes.
void exerciseTable(const std::string& directory, const std::string& fileName);

}  // namespace kx4::fuzz
