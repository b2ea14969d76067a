#pragma once
// Single-key index files (.NDX) of dBase III: read only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/FileSystem.h"
#include "engine/dbase/KeyEncoding.h"

namespace kx4::dbase {

class NdxFile {
  public:
    // Reads the header; raises DBIERR_INDEXCORRUPT naming the file.
    explicit NdxFile(std::unique_ptr<File> file);

    const std::string& path() const { return file_->path(); }
    const std::string& expression() const { return expression_; }
    bool numeric() const { return numeric_; }
    bool unique() const { return unique_; }
    // Record numbers in key order.
    std::vector<std::uint32_t> recordOrder();

  private:
    void collect(std::uint32_t page, int depth, std::vector<std::uint32_t>& out,
                 std::vector<bool>& visited);
    [[noreturn]] void corrupt(const std::string& what) const;

    std::unique_ptr<File> file_;
    std::uint32_t root_ = 0;
    std::uint32_t pages_ = 0;
    int keyLength_ = 0;
    int itemLength_ = 0;
    int maxKeys_ = 0;
    bool numeric_ = false;
    bool unique_ = false;
    std::string expression_;
};

}  // namespace kx4::dbase
