#pragma once
// The interface between the engine's table objects and the format drivers (Paradox, dBase,
// text). Drivers know bytes; everything above them deals in FieldDef, IndexDef and FieldValue.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/FileSystem.h"
#include "engine/core/TableSchema.h"
#include "engine/core/Value.h"

namespace kx4 {

class FileTransaction;
struct FLDDesc;  // DbiTypes.h

// Passwords the session holds, and the prompt for one it lacks.
class PasswordSource {
  public:
    virtual ~PasswordSource() = default;
    virtual std::vector<std::string> passwords() const = 0;
    // Asks the user for the password of `tableFile`; nullopt when the user declines.
    // `previousWasWrong` is set when the answer before did not fit, so the prompt can say so.
    virtual std::optional<std::string> askPassword(const std::string& tableFile,
                                                   bool previousWasWrong) = 0;
};

// A table's data file: directory plus file name with extension.
struct TablePath {
    std::string directory;
    std::string fileName;
    std::string full() const;
};

// Where the code page a table is read with comes from: the table's own header, the setting for
// tables that name none (an alias's CODEPAGE, or one given for the run), or the engine's default.
enum class CodePageOrigin { Table, Setting, Default };
std::string codePageOriginName(CodePageOrigin origin);  // "table", "setting", "default"

// The code page a table names none gets: `setting` when not 0, else `fallback`.
inline std::pair<int, CodePageOrigin> codePageOrSetting(int named, int setting, int fallback) {
    if (named != 0) return {named, CodePageOrigin::Table};
    if (setting != 0) return {setting, CodePageOrigin::Setting};
    return {fallback, CodePageOrigin::Default};
}
// Names of the files in the table's directory that belong to it by their stem, the data file
// included. Stems match regardless of case (tables copied from Windows have KUNDEN.DB beside
// kunden.px) unless another table file with the same extension differs from this one only in
// the case of its stem: then each of them owns only the files of exactly its own stem.
std::vector<std::string> ownSiblings(const TablePath& table, FileSystem& fs);

// Facts the cursor properties report (CURProps).
struct TableInfo {
    std::string driverName;  // "PARADOX", "DBASE", "ASCIIDRV"
    int seqNums = 0;         // 1 Paradox (sequence numbers), 0 dBase (record numbers)
    int version = 0;         // driver-specific level
    int codePage = 0;
    CodePageOrigin codePageOrigin = CodePageOrigin::Table;
    bool encrypted = false;
    std::uint64_t recordCount = 0;
    int recordSize = 0;
};

// Reads records one after another.
class RecordCursor {
  public:
    virtual ~RecordCursor() = default;
    // Fills `out` with the next live record (one value per field); false at the end.
    virtual bool next(Record& out) = 0;
};

// Reads records by their position in physical order, for views that jump about a table.
// Positions count from 1: Paradox sequence numbers, dBase record numbers (records marked
// deleted keep theirs, as dBase numbers them), text table records.
class RecordReader {
  public:
    virtual ~RecordReader() = default;
    virtual std::uint64_t count() const = 0;  // positions 1..count
    // Fills `out` with the record at `position`; false when the record is marked deleted.
    virtual bool read(std::uint64_t position, Record& out) = 0;
};

// Format-specific properties of an existing table (level, block size, code page, password,
// auto-increment counter, ...) that a rewrite must carry over. Opaque above the driver.
class FormatProperties {
  public:
    virtual ~FormatProperties() = default;
};

// An open table. Holds its OS lock (shared or exclusive) until destroyed.
class TableFile {
  public:
    virtual ~TableFile() = default;
    virtual const TablePath& path() const = 0;
    virtual const TableSchema& schema() const = 0;  // fields, and indexes primary first
    virtual TableInfo info() const = 0;
    // The code page the table is read with and where it comes from, without the record count
    // that info() may have to read every record for.
    virtual std::pair<int, CodePageOrigin> codePageInUse() const {
        const TableInfo i = info();
        return {i.codePage, i.codePageOrigin};
    }
    virtual std::shared_ptr<const FormatProperties> properties() const = 0;
    // Live records in physical (for keyed Paradox tables: key) order.
    virtual std::unique_ptr<RecordCursor> scan() = 0;
    // Records in the order of the named index (empty name: primary index).
    virtual std::unique_ptr<RecordCursor> scanIndex(const std::string& indexName) = 0;
    // Random access to the records by position; reading a record costs the same anywhere in
    // the table, and opening the reader does not grow with the number of records.
    virtual std::unique_ptr<RecordReader> readByPosition();
    // The positions (as readByPosition counts them) of the records in the order of the named
    // index (empty name: primary index): 4 bytes a record.
    virtual std::vector<std::uint32_t> indexPositions(const std::string& indexName);
    // Appends one record, keeping every index in step. Needs an exclusive open.
    virtual void appendRecord(const Record& record) = 0;
    // Checks the table with its companion files; one line per problem, empty when sound.
    virtual std::vector<std::string> check() = 0;
    // Remarks of the last check() that are no faults (things the format tolerates).
    virtual std::vector<std::string> checkNotes() const { return {}; }
    virtual bool exclusive() const = 0;
    // The file system the table was opened through; changes of the table go through it too.
    virtual FileSystem& fileSystem() const = 0;
};

class EDBEngineError;

// The records of a table being rewritten: for each field of the new table the field of `table`
// it takes its values from (-1: a new field, left blank), and the conversion of one value into
// new field `field`, which raises naming field and record when the value does not fit.
struct RecordSource {
    TableFile& table;
    std::vector<int> fields;
    std::function<FieldValue(const FieldValue& value, std::size_t field, std::uint64_t recordNo)>
        convert;
    // Records marked deleted go into the new table with their mark, unless the rewrite packs.
    // Only formats that keep deleted records in the file have any.
    bool keepDeleted = false;
    // Raises `e`, which the new table gave for record `recordNo` (from 1), naming the record.
    [[noreturn]] void failedAt(const EDBEngineError& e, std::uint64_t recordNo) const;
};

// Writes a complete new table into staged files of a transaction.
class TableBuilder {
  public:
    virtual ~TableBuilder() = default;
    // Raises EDBEngineError (DBIERR_DATATOOLONG and the like) for a value the field cannot hold;
    // never truncates silently.
    virtual void append(const Record& record) = 0;
    // Appends every live record of `source.table` (and its deleted ones when it keeps them and
    // `source.keepDeleted` asks for them). The default reads each live record as values and
    // converts them; a builder of the source's own format may instead copy the stored bytes of
    // fields whose storage does not change, with the same result.
    virtual void appendAll(const RecordSource& source);
    // Writes headers and builds every index of the schema.
    virtual void finish() = 0;
    // What the user should learn about the finished table that is no failure.
    virtual std::vector<std::string> notes() const { return {}; }
};

struct OpenOptions {
    bool exclusive = false;
    PasswordSource* passwords = nullptr;
    // Code page for a table whose header names none (0: the format's default). Writes keep
    // the header as it is, so the table goes on naming none.
    int codePage = 0;
    // Where the table's files are read and written.
    FileSystem& fileSystem = defaultFileSystem();
};

class TableFormat {
  public:
    virtual ~TableFormat() = default;
    virtual TTableType type() const = 0;
    virtual std::string driverName() const = 0;
    virtual std::string defaultExtension() const = 0;  // ".DB", ".DBF", ".TXT"
    // Does `fileName` (as listed in a directory) name a table of this format?
    virtual bool isTableFile(const std::string& fileName) const = 0;
    // Whether the file at `path`, whose name isTableFile claims, is a table of this format; a
    // format whose tables need a file beside the data file says no without it.
    virtual bool isTable(const TablePath& path, FileSystem& fs) {
        return isTableFile(path.fileName);
    }
    // Every file that belongs to the table, existing ones only (data file first).
    virtual std::vector<std::string> companionFiles(const TablePath& path, FileSystem& fs) = 0;
    // Whether `fileName` (a plain name in the table's directory) is a companion of the table
    // (any file of companionFiles() but the data file), existing or not.
    virtual bool isCompanion(const TablePath& path, const std::string& fileName) const = 0;
    // The files a rewrite of the table replaces: those a builder writes anew, and which are
    // removed when the new table has none of them. Files of other kinds (validity checks,
    // say) stay as they are.
    virtual std::vector<std::string> derivedFiles(const TablePath& path, FileSystem& fs) {
        return companionFiles(path, fs);
    }

    virtual std::unique_ptr<TableFile> open(const TablePath& path, const OpenOptions& options) = 0;

    // Starts a new table at `target`: from `like` (properties of the table it replaces) or
    // the format's defaults for a new table when null.
    virtual std::unique_ptr<TableBuilder> build(const TablePath& target, const TableSchema& schema,
                                                std::shared_ptr<const FormatProperties> like,
                                                FileTransaction& tx) = 0;

    // Field definition from an engine descriptor (logical or physical type codes); raises
    // DBIERR_INVALIDFLDTYPE for a type the format cannot hold.
    virtual FieldDef fieldFromDescriptor(const FLDDesc& desc) const = 0;
    // Descriptor of a field; physical codes when `physical` (xltNONE), logical ones otherwise.
    virtual void describeField(const FieldDef& field, bool physical, FLDDesc& out) const = 0;

    // Index maintenance on a table held exclusively by `file`.
    virtual void addIndex(TableFile& file, const IndexDef& index, FileTransaction& tx) = 0;
    virtual void deleteIndex(TableFile& file, const std::string& name, FileTransaction& tx) = 0;
    // Writes every index of the table anew from its records, changing nothing else (deleted
    // records stay). The default rewrites the whole table, which suits formats without
    // deleted records.
    virtual void rebuildIndexes(TableFile& file, FileTransaction& tx);
    // Whether tables of this format can be restructured and packed (rewritten with another
    // structure or without deleted records); creating one is always possible.
    virtual bool canRestructure() const { return true; }
};

// The drivers, by table type; ttDefault picks by the file name's extension.
TableFormat& formatFor(TTableType type, const std::string& fileName);
TableFormat* formatByExtension(const std::string& fileName);  // nullptr if none claims it
std::vector<TableFormat*> allFormats();

}  // namespace kx4
