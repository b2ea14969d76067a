#pragma once
// An open Paradox table: its locked .DB file, header, schema and record access.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/TableFormat.h"
#include "engine/paradox/ParadoxHeader.h"
#include "engine/paradox/ParadoxProperties.h"
#include "engine/paradox/RecordCodec.h"
#include "engine/paradox/SecondaryIndexes.h"

namespace kx4 {
class File;
class TextCodec;
}  // namespace kx4

namespace kx4::paradox {

class ParadoxTable final : public TableFile {
  public:
    static std::unique_ptr<ParadoxTable> open(const TablePath& path, const OpenOptions& options);
    ~ParadoxTable() override;

    const TablePath& path() const override { return path_; }
    const TableSchema& schema() const override { return schema_; }
    TableInfo info() const override;
    std::shared_ptr<const FormatProperties> properties() const override { return properties_; }
    std::unique_ptr<RecordCursor> scan() override;
    std::unique_ptr<RecordCursor> scanIndex(const std::string& indexName) override;
    std::unique_ptr<RecordReader> readByPosition() override;
    std::vector<std::uint32_t> indexPositions(const std::string& indexName) override;
    void appendRecord(const Record& record) override;
    std::vector<std::string> check() override;
    std::vector<std::string> checkNotes() const override { return notes_; }
    bool exclusive() const override { return exclusive_; }
    FileSystem& fileSystem() const override { return fs_; }

    const Header& header() const { return header_; }
    const std::vector<SecondaryIndexFile>& secondaryIndexes() const { return secondary_; }
    // The stored records: the locked data file, their codec and the blob file (null when the
    // table has none).
    File& dataFile() { return *file_; }
    const RecordCodec& records() const { return *records_; }
    std::unique_ptr<BlobReader> openBlobs() const;

    // The record with the given key values (one per key field), found through the .PX.
    std::optional<Record> findKey(const Record& key);

    // Index maintenance on the exclusively opened table; new files are staged in `tx`.
    // Writes the .PX and every secondary index anew from the data file, which stays as it
    // is unless its records are out of key order (then the whole table is rewritten).
    void rebuildIndexFiles(FileTransaction& tx);
    void addIndex(const IndexDef& index, FileTransaction& tx);
    void deleteIndex(const std::string& name, FileTransaction& tx);
    // The whole table written anew with `schema` (the same fields).
    void rewrite(const TableSchema& schema, FileTransaction& tx);

  private:
    ParadoxTable(TablePath path, bool exclusive, FileSystem& fs);
    void lockFile();
    void load(PasswordSource* passwords, const std::uint32_t* knownChecksum);
    void verifyPassword(PasswordSource* passwords);
    void checkChain(std::vector<std::string>& problems);
    void checkKeyOrder(std::vector<std::string>& problems);
    void checkPrimaryIndex(std::vector<std::string>& problems);
    void checkSecondaryIndex(const SecondaryIndexFile& ix, std::vector<std::string>& problems);
    void requireExclusive(const char* what) const;
    bool recordsInKeyOrder();
    std::vector<IndexDef> secondaryDefinitions() const;
    std::vector<const SecondaryIndexFile*> rebuildableIndexes() const;
    std::string primaryIndexFault() const;
    void requireSoundIndexes(const char* what) const;
    const SecondaryIndexFile& secondaryIndex(const std::string& name) const;
    std::unique_ptr<RecordCursor> sortedByIndex(const SecondaryIndexFile& ix);
    std::vector<std::uint32_t> sortedPositions(const SecondaryIndexFile& ix);
    using KeyVisitor = std::function<void(const std::uint8_t* raw, std::string key)>;
    void forEachIndexKey(const SecondaryIndexFile& ix, const KeyVisitor& visit);
    RecordSource sameRecords();

    TablePath path_;
    bool exclusive_;
    FileSystem& fs_;
    std::unique_ptr<File> file_;
    Header header_;
    TableSchema schema_;
    std::shared_ptr<const TextCodec> codec_;
    int codePageSetting_ = 0;  // for a header that names no code page
    CodePageOrigin codePageOrigin_ = CodePageOrigin::Table;
    std::shared_ptr<ParadoxProperties> properties_;
    std::unique_ptr<RecordCodec> records_;
    std::vector<SecondaryIndexFile> secondary_;
    std::vector<std::string> notes_;  // of the last check()
};

}  // namespace kx4::paradox
