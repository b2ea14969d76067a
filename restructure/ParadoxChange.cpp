#include "restructure/ParadoxChange.h"

#include <cstring>
#include <vector>

#include "engine/Dbi.h"
#include "engine/core/FieldTypeFacts.h"

namespace kx4 {

std::uint16_t FieldTypeToEngineType(std::uint8_t fieldType) {
    // The field change's own mapping: the Paradox driver's physical code for the types listed
    // first, the object types' own codes, and the logical engine type of every other type -
    // ftInteger included, a 32-bit integer like the browser's "Integer" (a 16-bit field could
    // not hold its values).
    const auto type = static_cast<TFieldType>(fieldType);
    switch (type) {
        case TFieldType::ftSmallint:
            return fldPDXSHORT;
        case TFieldType::ftCurrency:
            return fldPDXMONEY;
        case TFieldType::ftDateTime:
            return fldPDXDATETIME;
        case TFieldType::ftAutoInc:
            return fldPDXAUTOINC;
        case TFieldType::ftMemo:
            return fldPDXMEMO;
        case TFieldType::ftGraphic:
            return fldPDXGRAPHIC;
        case TFieldType::ftFmtMemo:
            return fldPDXFMTMEMO;
        case TFieldType::ftParadoxOle:
            return fldPDXOLEBLOB;
        case TFieldType::ftTypedBinary:
            return fldPDXBINARYBLOB;
        case TFieldType::ftFixedChar:
            return fldPDXCHAR;
        case TFieldType::ftDBaseOle:
            return 0;
        // A 32-bit integer as well, not the 64-bit type a new table's field gets.
        case TFieldType::ftLargeint:
            return fldINT32;
        case TFieldType::ftCursor:
            return fldCURSOR;
        case TFieldType::ftADT:
            return fldADT;
        case TFieldType::ftArray:
            return fldARRAY;
        case TFieldType::ftReference:
            return fldREF;
        default:
            return engineTypeOf(type).type;
    }
}

std::uint16_t EngineSubTypeFor(std::uint16_t engineType) {
    // Logical blob types need their subtype to say what they hold; every other code (the
    // Paradox driver's physical codes included) is complete without one.
    return engineType == fldBLOB ? fldstBINARY : 0;
}

namespace {

void openExclusive(TTable& table) {
    if (table.Active() && !table.Exclusive) table.Close();
    if (!table.Exclusive) table.Exclusive = true;
    if (!table.Active()) table.Open();
}

struct LogicalType {
    std::uint16_t type;
    std::uint16_t subType;
};

// The change record speaks the Paradox driver's physical codes; other drivers number their own
// physical types differently (0x105 is a dBase date), so they get the logical equivalent.
LogicalType logicalForParadoxCode(std::uint16_t code) {
    switch (code) {
        case fldPDXCHAR:
            return {fldZSTRING, 0};
        case fldPDXNUM:
            return {fldFLOAT, 0};
        case fldPDXMONEY:
            return {fldFLOAT, fldstMONEY};
        case fldPDXDATE:
            return {fldDATE, 0};
        case fldPDXSHORT:
            return {fldINT16, 0};
        case fldPDXMEMO:
            return {fldBLOB, fldstMEMO};
        case fldPDXBINARYBLOB:
            return {fldBLOB, fldstBINARY};
        case fldPDXFMTMEMO:
            return {fldBLOB, fldstFMTMEMO};
        case fldPDXOLEBLOB:
            return {fldBLOB, fldstOLEOBJ};
        case fldPDXGRAPHIC:
            return {fldBLOB, fldstGRAPHIC};
        case fldPDXLONG:
            return {fldINT32, 0};
        case fldPDXTIME:
            return {fldTIME, 0};
        case fldPDXDATETIME:
            return {fldTIMESTAMP, 0};
        case fldPDXBOOL:
            return {fldBOOL, 0};
        case fldPDXAUTOINC:
            return {fldINT32, fldstAUTOINC};
        case fldPDXBYTES:
            return {fldBYTES, 0};
        case fldPDXBCD:
            return {fldBCD, 0};
        default:
            return {code, 0};
    }
}

void translateForDriver(const char* tableType, FLDDesc& desc) {
    if (std::strcmp(tableType, szPARADOX) == 0 || desc.iFldType < fldPDXCHAR) return;
    const LogicalType logical = logicalForParadoxCode(desc.iFldType);
    desc.iFldType = logical.type;
    desc.iSubType = logical.subType;
}

void applyChange(const TFieldChange& change, FLDDesc& desc) {
    if (change.NewName[0] != '\0') std::memcpy(desc.szName, change.NewName, sizeof change.NewName);
    if (change.NewType != 0) desc.iFldType = change.NewType;
    if (change.NewSubType != 0) desc.iSubType = change.NewSubType;
    if (change.NewUnits1 != 0) desc.iUnits1 = static_cast<std::int16_t>(change.NewUnits1);
    if (change.NewUnits2 != 0) desc.iUnits2 = change.NewUnits2;
}

void reopenShared(TTable& table) {
    table.Close();
    table.Exclusive = false;
    table.Open();
}

}  // namespace

void RestructureField(TTable& table, const std::string& fieldName, const TFieldChange& change) {
    openExclusive(table);
    const int slot = table.FieldByName(fieldName).Index();
    try {
        Check(DbiSetProp(table.Handle(), curXLTMODE, xltNONE));
        CURProps props;
        Check(DbiGetCursorProps(table.Handle(), &props));
        const int n = table.FieldCount();
        std::vector<FLDDesc> descs(n);
        std::vector<CROpType> ops(n, crNOOP);
        ops[slot] = crMODIFY;
        Check(DbiGetFieldDescs(table.Handle(), descs.data()));
        applyChange(change, descs[slot]);
        if (change.NewType != 0) translateForDriver(props.szTableType, descs[slot]);
        for (int k = 0; k < n; ++k) descs[k].iFldNum = static_cast<std::uint8_t>(k + 1);

        CRTblDesc desc;
        hDBIObj db = nullptr;
        Check(DbiGetObjFromObj(table.Handle(), objDATABASE, &db));
        std::strncpy(desc.szTblName, table.TableName.c_str(), DBIMAXTBLNAMELEN);
        std::strncpy(desc.szTblType, props.szTableType, sizeof desc.szTblType - 1);
        desc.szTblType[sizeof desc.szTblType - 1] = '\0';
        desc.iFldCount = static_cast<std::uint16_t>(n);
        desc.pecrFldOp = ops.data();
        desc.pfldDesc = descs.data();
        table.Close();
        Check(
            DbiDoRestructure(static_cast<hDBIDb>(db), 1, &desc, nullptr, nullptr, nullptr, false));
    } catch (...) {
        reopenShared(table);
        throw;
    }
    reopenShared(table);
}

void TParadoxChange::ChangeField(const std::string& fieldName, std::uint8_t fieldType,
                                 std::uint16_t size) {
    TTable table(session_);
    table.DatabaseName = DatabaseName;
    table.TableName = TableName;
    table.Exclusive = true;
    TFieldChange change;
    change.NewType = FieldTypeToEngineType(fieldType);
    change.NewSubType = EngineSubTypeFor(change.NewType);
    if (size > 0) change.NewUnits1 = size;
    RestructureField(table, fieldName, change);
}

}  // namespace kx4
