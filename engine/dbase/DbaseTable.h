#pragma once
// An open dBase table: its .DBF with memo file and production index.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/TableFormat.h"
#include "engine/core/TextCodec.h"
#include "engine/dbase/DbaseProperties.h"
#include "engine/dbase/DbfHeader.h"
#include "engine/dbase/MdxFile.h"
#include "engine/dbase/MemoFile.h"

namespace kx4::dbase {

class DbaseTable : public TableFile {
  public:
    // Runs FileTransaction::recover, takes the lock and reads the header, memo file and
    // production index. Raises EDBEngineError naming the file for whatever is wrong. A table
    // without a known language driver is read in `codePageSetting` when not 0.
    static std::unique_ptr<DbaseTable> open(FileSystem& fs, const TablePath& path, bool exclusive,
                                            int codePageSetting = 0);
    ~DbaseTable() override;

    const TablePath& path() const override { return path_; }
    const TableSchema& schema() const override { return schema_; }
    TableInfo info() const override;
    std::pair<int, CodePageOrigin> codePageInUse() const override {
        return {codec_->codePage(), codePageOrigin_};
    }
    std::shared_ptr<const FormatProperties> properties() const override;
    std::unique_ptr<RecordCursor> scan() override;
    std::unique_ptr<RecordCursor> scanIndex(const std::string& indexName) override;
    std::unique_ptr<RecordReader> readByPosition() override;
    // Records marked deleted are listed too: dBase indexes keep their keys.
    std::vector<std::uint32_t> indexPositions(const std::string& indexName) override;
    void appendRecord(const Record& record) override;
    std::vector<std::string> check() override;
    bool exclusive() const override { return exclusive_; }
    FileSystem& fileSystem() const override { return *fs_; }

    // For index maintenance by the format.
    const DbfHeader& header() const { return header_; }
    const TextCodec& codec() const { return *codec_; }
    MdxFile* mdx() { return mdx_.get(); }
    MemoFile* memo() { return memo_.get(); }  // null when the table has none (or it is missing)
    const std::string& memoProblem() const { return memoProblem_; }
    // Header index of each schema field.
    const std::vector<int>& visibleFields() const { return visibleFields_; }
    File& dataFile() { return *file_; }
    std::uint32_t storedRecords() const { return stored_; }
    // Raw record n (1-based, deletion flag first).
    std::vector<std::uint8_t> readRaw(std::uint32_t n);
    Record decode(const std::vector<std::uint8_t>& raw, std::uint32_t n);
    // Calls `visit` with every stored record (deleted ones too), in order, read in chunks.
    void forEachStored(const std::function<void(const std::uint8_t* raw, std::uint32_t n)>& visit);
    // Keys of every stored record (deleted ones too, as dBase keeps them) for a tag layout.
    std::vector<IndexEntry> computeKeys(const std::string& expression);
    void requireWritable(const std::string& action) const;
    // Raises when the header counts records the file does not hold, naming both counts.
    void requireCountedRecords() const;

  private:
    DbaseTable() = default;
    void openCompanions();
    std::uint64_t countLiveRecords() const;
    void buildSchema();
    std::unique_ptr<RecordCursor> cursorOver(std::vector<std::uint32_t> order);

    TablePath path_;
    std::string fullPath_;
    bool exclusive_ = false;
    FileSystem* fs_ = nullptr;  // set by open()
    std::unique_ptr<File> file_;
    DbfHeader header_;
    std::unique_ptr<TextCodec> codec_;
    CodePageOrigin codePageOrigin_ = CodePageOrigin::Table;
    std::unique_ptr<MemoFile> memo_;
    std::unique_ptr<MdxFile> mdx_;
    std::vector<std::string> openProblems_;
    std::string memoProblem_;      // why the memo file is missing or unusable, naming it
    std::string indexUnreadable_;  // why the production index could not be read, if so
    // What the header claims that the file does not hold; reading it fails, rewriting is refused.
    std::string headerDisagreement_;
    TableSchema schema_;
    std::vector<int> visibleFields_;  // header field index of each schema field
    std::uint32_t stored_ = 0;        // records actually present (count, cut to the file size)
    // Counted when first asked for: opening a table reads its header and indexes only, so that
    // the cost of an open does not grow with the number of records.
    mutable std::optional<std::uint64_t> liveRecords_;
};

}  // namespace kx4::dbase
