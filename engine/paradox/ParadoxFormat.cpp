#include "engine/paradox/ParadoxFormat.h"

#include <cstring>

#include "engine/core/DbiTypes.h"
#include "engine/core/Errors.h"
#include "engine/core/FieldType.h"
#include "engine/core/FileSystem.h"
#include "engine/paradox/Companions.h"
#include "engine/paradox/FieldCodec.h"
#include "engine/paradox/ParadoxBuilder.h"
#include "engine/paradox/ParadoxTable.h"

namespace kx4 {

namespace {

using namespace paradox;

// Paradox type for a logical descriptor (fld* with fldst* subtype); 0 when there is none.
std::uint8_t typeForLogical(std::uint16_t type, std::uint16_t subType) {
    switch (type) {
        case fldZSTRING:
            return pxAlpha;
        case fldDATE:
            return pxDate;
        case fldINT16:
            return pxShort;
        case fldINT32:
            return subType == fldstAUTOINC ? pxAutoInc : pxLong;
        case fldUINT16:
            return pxLong;  // a long holds every unsigned 16-bit value
        case fldFLOAT:
            return subType == fldstMONEY ? pxMoney : pxNumber;
        case fldFLOATIEEE:
            return pxNumber;
        case fldBOOL:
            return pxLogical;
        case fldBCD:
            return pxBcd;
        case fldBYTES:
            return pxBytes;
        case fldTIME:
            return pxTime;
        case fldTIMESTAMP:
            return pxTimestamp;
        case fldBLOB:
            switch (subType) {
                case fldstMEMO:
                    return pxMemo;
                case fldstFMTMEMO:
                    return pxFmtMemo;
                case fldstOLEOBJ:
                    return pxOle;
                case fldstGRAPHIC:
                    return pxGraphic;
                default:
                    return pxBinary;
            }
        default:
            return 0;
    }
}

class ParadoxFormat final : public TableFormat {
  public:
    TTableType type() const override { return TTableType::ttParadox; }
    std::string driverName() const override { return "PARADOX"; }
    std::string defaultExtension() const override { return ".DB"; }

    bool isTableFile(const std::string& fileName) const override {
        return toUpperAscii(extensionOf(fileName)) == ".DB";
    }

    std::vector<std::string> companionFiles(const TablePath& path, FileSystem& fs) override {
        return tableFiles(path, false, fs);
    }

    bool isCompanion(const TablePath& path, const std::string& fileName) const override {
        return isCompanionName(path, fileName);
    }

    std::vector<std::string> derivedFiles(const TablePath& path, FileSystem& fs) override {
        return tableFiles(path, true, fs);
    }

    std::unique_ptr<TableFile> open(const TablePath& path, const OpenOptions& options) override {
        return ParadoxTable::open(path, options);
    }

    std::unique_ptr<TableBuilder> build(const TablePath& target, const TableSchema& schema,
                                        std::shared_ptr<const FormatProperties> like,
                                        FileTransaction& tx) override {
        return buildParadoxTable(target, schema, std::move(like), tx);
    }

    FieldDef fieldFromDescriptor(const FLDDesc& desc) const override {
        const std::string name(desc.szName, strnlen(desc.szName, sizeof desc.szName));
        std::uint8_t type = typeForPhysicalCode(desc.iFldType);
        if (type == 0) type = typeForLogical(desc.iFldType, desc.iSubType);
        if (type == 0)
            throwEngineError(DBIERR_INVALIDFLDTYPE, "Field " + name + ": type " +
                                                        std::to_string(desc.iFldType) +
                                                        " cannot be stored in a Paradox table");
        FieldDef def;
        def.name = name;
        def.physicalType = physicalCodeOf(type);
        if (type == pxBcd)
            def.size = desc.iUnits2;
        else if (type == pxAlpha || type == pxBytes || isBlobType(type))
            def.size = desc.iUnits1;
        const FieldInfo info = fieldInfoFor(def);  // raises for sizes Paradox cannot hold
        return fieldDefFor(info, name);
    }

    void describeField(const FieldDef& field, bool physical, FLDDesc& out) const override {
        const FieldInfo info = fieldInfoFor(field);
        const FieldDef def = fieldDefFor(info, field.name);
        std::strncpy(out.szName, field.name.c_str(), DBIMAXNAMELEN);
        out.szName[DBIMAXNAMELEN] = '\0';
        out.iFldType = physical ? def.physicalType : def.logicalType;
        out.iSubType = physical ? 0 : def.subType;
        out.iUnits1 = static_cast<std::int16_t>(info.type == pxBcd ? 32 : def.size);
        out.iUnits2 = static_cast<std::int16_t>(info.type == pxBcd ? info.size : 0);
        out.iLen = static_cast<std::uint16_t>(physical ? storedSize(info) : def.dataSize);
    }

    void addIndex(TableFile& file, const IndexDef& index, FileTransaction& tx) override {
        paradoxTable(file).addIndex(index, tx);
    }

    void deleteIndex(TableFile& file, const std::string& name, FileTransaction& tx) override {
        paradoxTable(file).deleteIndex(name, tx);
    }

    void rebuildIndexes(TableFile& file, FileTransaction& tx) override {
        paradoxTable(file).rebuildIndexFiles(tx);
    }

  private:
    static ParadoxTable& paradoxTable(TableFile& file) {
        auto* table = dynamic_cast<ParadoxTable*>(&file);
        if (!table)
            throwEngineError(DBIERR_INVALIDPARAM,
                             "Table " + file.path().fileName + " is not a Paradox table");
        return *table;
    }
};

}  // namespace

TableFormat& paradoxFormat() {
    static ParadoxFormat format;
    return format;
}

}  // namespace kx4
