#pragma once
// Helpers shared by the Paradox driver tests.
#include <optional>
#include <string>
#include <vector>

#include "engine/core/TableFormat.h"
#include "engine/paradox/ParadoxFormat.h"

namespace kx4::test {

// Passwords a session holds, and the answers a user gives when asked.
class ScriptedPasswords final : public PasswordSource {
  public:
    explicit ScriptedPasswords(std::vector<std::string> known = {},
                               std::vector<std::optional<std::string>> answers = {})
        : known_(std::move(known)), answers_(std::move(answers)) {}
    std::vector<std::string> passwords() const override { return known_; }
    std::optional<std::string> askPassword(const std::string&, bool previousWasWrong) override {
        ++asked;
        toldWrong.push_back(previousWasWrong);
        if (answers_.empty()) return std::nullopt;
        auto a = answers_.front();
        answers_.erase(answers_.begin());
        return a;
    }
    int asked = 0;
    std::vector<bool> toldWrong;  // per prompt: whether it was told the answer before did not fit

  private:
    std::vector<std::string> known_;
    std::vector<std::optional<std::string>> answers_;
};

TablePath tablePath(const std::string& fullPath);

std::unique_ptr<TableFile> openParadox(const std::string& path, bool exclusive = false,
                                       PasswordSource* passwords = nullptr,
                                       FileSystem& fs = defaultFileSystem());

std::vector<Record> readAll(TableFile& table);

// Writes a table with the driver's builder and commits it.
void writeParadox(const std::string& path, const TableSchema& schema,
                  const std::vector<Record>& records,
                  std::shared_ptr<const FormatProperties> like = nullptr,
                  FileSystem& fs = defaultFileSystem());

FieldDef field(const std::string& name, TFieldType type, int size = 0);
// The primary key over `fields` ("A;B").
IndexDef primaryKey(const std::string& fields);

// A graphic (kind 1) or OLE (kind 2) value as the table stores and returns it: 01 00 00 kind,
// the payload's length (LE), the payload.
Blob pictureBlob(int kind, const Bytes& payload);

// Text form of a value for comparisons with pxlib: numbers printed exactly, BCD normalised.
std::string canonical(const FieldValue& v);
std::string canonicalDecimal(std::string text);

}  // namespace kx4::test
