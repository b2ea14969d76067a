#include "engine/ascii/AsciiFormat.h"

#include <cstring>

#include "engine/ascii/AsciiBuilder.h"
#include "engine/ascii/AsciiTable.h"
#include "engine/ascii/TextValues.h"
#include "engine/core/DbiTypes.h"
#include "engine/core/Errors.h"
#include "engine/core/FieldType.h"

namespace kx4 {

namespace {

using namespace ascii;

// Engine definition for a descriptor; text tables use logical codes as their physical ones.
FieldDef definitionOf(const FLDDesc& desc) {
    FieldDef def;
    def.name.assign(desc.szName, strnlen(desc.szName, sizeof desc.szName));
    def.size = desc.iUnits1;
    def.decimals = desc.iUnits2;
    switch (desc.iFldType) {
        case fldZSTRING:
            def.type = TFieldType::ftString;
            break;
        case fldINT16:
        case fldUINT16:
            def.type = TFieldType::ftSmallint;
            break;
        case fldINT32:
        case fldUINT32:
            def.type = TFieldType::ftInteger;
            break;
        case fldFLOAT:
        case fldBCD:
            def.type = TFieldType::ftFloat;
            break;
        case fldINT64:
            def.type = TFieldType::ftLargeint;
            break;
        case fldBOOL:
            def.type = TFieldType::ftBoolean;
            break;
        case fldDATE:
            def.type = TFieldType::ftDate;
            break;
        case fldTIME:
            def.type = TFieldType::ftTime;
            break;
        case fldTIMESTAMP:
            def.type = TFieldType::ftDateTime;
            break;
        default:
            throwEngineError(DBIERR_INVALIDFLDTYPE, "Field " + def.name + ": type code " +
                                                        std::to_string(desc.iFldType) +
                                                        " cannot be stored in a text table");
    }
    return fieldDefOf(textFieldFor(def));
}

[[noreturn]] void noIndexes(const TableFile& file) {
    throwEngineError(DBIERR_NOTSUPPORTED,
                     "Indexes are not supported for text tables (" +
                         joinPath(file.path().directory, file.path().fileName) + ")");
}

class AsciiFormat : public TableFormat {
  public:
    TTableType type() const override { return TTableType::ttASCII; }
    std::string driverName() const override { return szASCII; }
    std::string defaultExtension() const override { return ".TXT"; }
    bool isTableFile(const std::string& fileName) const override {
        return toUpperAscii(extensionOf(fileName)) == ".TXT";
    }

    // A text file is a table only with its schema: without one it cannot be opened.
    bool isTable(const TablePath& path, FileSystem& fs) override {
        return isTableFile(path.fileName) && !schemaPathFor(path, fs).empty();
    }

    std::vector<std::string> companionFiles(const TablePath& path, FileSystem& fs) override {
        std::vector<std::string> files;
        const std::string data = joinPath(path.directory, path.fileName);
        if (!fs.exists(data)) return files;
        files.push_back(data);
        if (auto schema = schemaPathFor(path, fs); !schema.empty()) files.push_back(schema);
        return files;
    }

    bool isCompanion(const TablePath& path, const std::string& fileName) const override {
        return isSchemaName(path, fileName);
    }

    std::unique_ptr<TableFile> open(const TablePath& path, const OpenOptions& options) override {
        return AsciiTable::open(options.fileSystem, path, options.exclusive);
    }

    std::unique_ptr<TableBuilder> build(const TablePath& target, const TableSchema& schema,
                                        std::shared_ptr<const FormatProperties> like,
                                        FileTransaction& tx) override {
        return makeAsciiBuilder(target, schema, std::move(like), tx);
    }

    FieldDef fieldFromDescriptor(const FLDDesc& desc) const override { return definitionOf(desc); }

    void describeField(const FieldDef& field, bool physical, FLDDesc& out) const override {
        std::memset(out.szName, 0, sizeof out.szName);
        std::memcpy(out.szName, field.name.data(),
                    std::min(field.name.size(), sizeof out.szName - 1));
        out.iFldType = physical ? field.physicalType : field.logicalType;
        out.iSubType = 0;
        out.iUnits1 = static_cast<std::int16_t>(field.size);
        out.iUnits2 = static_cast<std::int16_t>(field.decimals);
        out.iLen = static_cast<std::uint16_t>(field.dataSize);
    }

    bool canRestructure() const override { return false; }
    void addIndex(TableFile& file, const IndexDef&, FileTransaction&) override { noIndexes(file); }
    void deleteIndex(TableFile& file, const std::string&, FileTransaction&) override {
        noIndexes(file);
    }
};

}  // namespace

TableFormat& asciiFormat() {
    static AsciiFormat format;
    return format;
}

}  // namespace kx4
