#pragma once
// An open text table: its .TXT data and .SCH schema.
#include <memory>
#include <string>
#include <vector>

#include "engine/ascii/SchemaFile.h"
#include "engine/core/FileSystem.h"
#include "engine/core/TableFormat.h"
#include "engine/core/TextCodec.h"

namespace kx4::ascii {

// Files larger than this are refused rather than read into memory.
inline constexpr std::uint64_t kMaxTextTableSize = 512ull << 20;

// Path of the schema beside a data file (matched without regard to case); "" if none.
std::string schemaPathFor(const TablePath& table, FileSystem& fs);
// Whether `fileName` names the schema of `table`, regardless of case.
bool isSchemaName(const TablePath& table, const std::string& fileName);

class AsciiTable : public TableFile {
  public:
    static std::unique_ptr<AsciiTable> open(FileSystem& fs, const TablePath& path, bool exclusive);

    const TablePath& path() const override { return path_; }
    const TableSchema& schema() const override { return schema_; }
    TableInfo info() const override;
    std::shared_ptr<const FormatProperties> properties() const override;
    std::unique_ptr<RecordCursor> scan() override;
    std::unique_ptr<RecordCursor> scanIndex(const std::string& indexName) override;
    std::unique_ptr<RecordReader> readByPosition() override;
    std::vector<std::uint32_t> indexPositions(const std::string& indexName) override;
    void appendRecord(const Record& record) override;
    std::vector<std::string> check() override;
    bool exclusive() const override { return exclusive_; }
    FileSystem& fileSystem() const override { return *fs_; }

    // Decodes line `n` (1-based number of the line in the file, for messages).
    Record decodeLine(const std::string& line, std::size_t n) const;
    const std::vector<std::string>& lines() const { return lines_; }

  private:
    AsciiTable() = default;
    void readLines();

    TablePath path_;
    std::string fullPath_;
    bool exclusive_ = false;
    FileSystem* fs_ = nullptr;  // set by open()
    std::unique_ptr<File> file_;
    TextSchema text_;
    TableSchema schema_;
    std::unique_ptr<TextCodec> codec_;
    CodePageOrigin codePageOrigin_ = CodePageOrigin::Table;
    std::vector<std::string> lines_;  // records, line ends removed, in the table's code page
    std::vector<std::size_t> lineNumbers_;
};

// The text of a record as a line in the table's code page; raises naming the field.
std::string encodeRecordLine(const TextSchema& schema, const TextCodec& codec,
                             const Record& record);

}  // namespace kx4::ascii
