#pragma once
// An open Paradox table: its locked .DB file, header, schema and record access.
#include <memory>
#include <string>
#include <vector>

#include "ParadoxHeader.h"
#include "ParadoxProperties.h"
#include "RecordCodec.h"
#include "SecondaryIndexes.h"
#include "TableFormat.h"

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
    void appendRecord(const Record& record) override;
    std::vector<std::string> check() override;
    bool exclusive() const override { return exclusive_; }

    const Header& header() const { return header_; }
    const std::vector<SecondaryIndexFile>& secondaryIndexes() const { return secondary_; }

  private:
    ParadoxTable(TablePath path, bool exclusive);
    void lockFile();
    void load(PasswordSource* passwords, const std::uint32_t* knownChecksum);
    void verifyPassword(PasswordSource* passwords);
    std::unique_ptr<BlobReader> openBlobs() const;
    void checkChain(std::vector<std::string>& problems);
    void checkPrimaryIndex(std::vector<std::string>& problems);

    TablePath path_;
    bool exclusive_;
    std::unique_ptr<File> file_;
    Header header_;
    TableSchema schema_;
    std::shared_ptr<const TextCodec> codec_;
    std::shared_ptr<ParadoxProperties> properties_;
    std::unique_ptr<RecordCodec> records_;
    std::vector<SecondaryIndexFile> secondary_;
};

}  // namespace kx4::paradox
