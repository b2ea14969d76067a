#pragma once
// Helpers of the dBase driver tests: opening and building tables, and the text form in which
// values are compared with independent readers.
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/core/TableFormat.h"
#include "engine/dbase/DBaseFormat.h"
#include "engine/dbase/MdxFile.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {

TablePath tablePathOf(const std::string& fullPath);
std::unique_ptr<TableFile> openDbase(const std::string& fullPath, bool exclusive = false);
std::vector<Record> readAll(RecordCursor& cursor);

// Creates a table through the builder in one committed transaction.
void buildDbase(const std::string& fullPath, const TableSchema& schema,
                const std::vector<Record>& records,
                std::shared_ptr<const FormatProperties> like = nullptr);
// Rewrites a table from its own live records (what a pack does).
void packDbase(const std::string& fullPath);

FieldDef dbField(const std::string& name, std::uint16_t physicalType, int size = 0,
                 int decimals = 0);

// A value in the dump format of dbfread_dump.py ("~", "B:T", "N:1.5", "D:...", "S:...").
std::string dumpValue(const FieldValue& value);
// Runs dbfread_dump.py; each record is a vector of dumped values. With `withDeleted`, deleted
// records are read too and every record starts with "*" (deleted) or " " (live).
std::vector<std::vector<std::string>> dbfreadRecords(const std::string& path, int codePage,
                                                     bool withDeleted = false);
// Numbers are compared by value, everything else by text.
bool sameDumpedValue(const std::string& ours, const std::string& theirs);

// Seven tags over a number, a name, a date, an amount and a memo: plain, case-insensitive,
// two-field, unique and descending ones.
TableSchema peopleSchema();
// Record `id` of peopleSchema with random name, date and amount; every third has a memo.
Record person(std::int64_t id, std::mt19937& rng);
// Every entry of every tag of a table's production index, in index order.
std::vector<std::vector<dbase::IndexEntry>> allTagEntries(const std::string& path);

void setByte(const std::string& path, std::uint64_t offset, std::uint8_t value);
// Marks record `n` (from 1) deleted the way dBase does: its flag byte only.
void markDeleted(const std::string& path, std::uint32_t n);
std::string shellQuote(const std::string& s);

}  // namespace kx4::test
