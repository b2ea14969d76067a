#include "engine/dbase/FieldMapping.h"

#include <algorithm>
#include <cstring>

#include "engine/core/DbiTypes.h"
#include "engine/core/Errors.h"
#include "engine/core/FieldType.h"
#include "engine/dbase/FieldCodec.h"

namespace kx4::dbase {

namespace {

constexpr int kMaxCharLength = 254;
constexpr int kMaxNumericLength = 20;
constexpr int kMaxDecimals = 18;
constexpr int kMemoPointerLength = 10;

[[noreturn]] void badType(const std::string& name, const std::string& what) {
    throwEngineError(DBIERR_INVALIDFLDTYPE, "Field " + name + ": " + what);
}
[[noreturn]] void badSize(const std::string& name, const std::string& what) {
    throwEngineError(DBIERR_INVALIDPARAM, "Field " + name + ": " + what);
}

DbfField make(const std::string& name, char type, int length, int decimals = 0) {
    DbfField f;
    f.name = name;
    f.type = type;
    f.length = length;
    f.decimals = decimals;
    return f;
}

DbfField numeric(const std::string& name, char type, int length, int decimals) {
    if (length < 1 || length > kMaxNumericLength)
        badSize(name, "a number field is 1 to 20 digits wide, not " + std::to_string(length));
    if (decimals < 0 || decimals > kMaxDecimals || (decimals > 0 && decimals > length - 2))
        badSize(name, std::to_string(decimals) + " decimals do not fit a width of " +
                          std::to_string(length));
    return make(name, type, length, decimals);
}

// Width from a descriptor when it is usable, else the default.
int widthOr(int units, int fallback) {
    return units >= 1 && units <= kMaxNumericLength ? units : fallback;
}

DbfField fromPhysical(const std::string& name, std::uint16_t type, int units1, int units2) {
    switch (type) {
        case fldDBCHAR:
            if (units1 < 1 || units1 > kMaxCharLength)
                badSize(name, "a character field holds 1 to 254 characters, not " +
                                  std::to_string(units1));
            return make(name, 'C', units1);
        case fldDBNUM:
            return numeric(name, 'N', units1, units2);
        case fldDBFLOAT:
            return numeric(name, 'F', units1, units2);
        case fldDBDATE:
            return make(name, 'D', 8);
        case fldDBBOOL:
            return make(name, 'L', 1);
        case fldDBMEMO:
            return make(name, 'M', kMemoPointerLength);
        case fldDBBINARY:
            return make(name, 'B', kMemoPointerLength);
        case fldDBOLEBLOB:
            return make(name, 'G', kMemoPointerLength);
        case fldDBLONG:
            return make(name, 'I', 4);
        case fldDBAUTOINC:
            return make(name, '+', 4);
        case fldDBDOUBLE:
            return make(name, 'O', 8);
        case fldDBDATETIME:
            return make(name, '@', 8);
        default:
            badType(name,
                    "type code " + std::to_string(type) + " cannot be stored in a dBase table");
    }
}

DbfField fromLogical(const std::string& name, std::uint16_t type, std::uint16_t subType, int units1,
                     int units2) {
    switch (type) {
        case fldZSTRING:
            return fromPhysical(name, fldDBCHAR, units1, 0);
        case fldINT16:
        case fldUINT16:
            return numeric(name, 'N', widthOr(units1, 6), 0);
        case fldINT32:
        case fldUINT32:
            if (subType == fldstAUTOINC) return make(name, '+', 4);
            return numeric(name, 'N', widthOr(units1, 11), 0);
        case fldINT64:
            return numeric(name, 'N', kMaxNumericLength, 0);
        case fldFLOAT:
        case fldBCD:
            if (units1 >= 1 && units1 <= kMaxNumericLength)
                return numeric(name, 'N', units1, units2);
            return numeric(name, 'N', kMaxNumericLength, 4);
        case fldDATE:
            return make(name, 'D', 8);
        case fldBOOL:
            return make(name, 'L', 1);
        case fldTIMESTAMP:
            return make(name, '@', 8);
        case fldBLOB:
            switch (subType) {
                case fldstBINARY:
                case fldstGRAPHIC:
                case fldstTYPEDBINARY:
                    return make(name, 'B', kMemoPointerLength);
                case fldstOLEOBJ:
                case fldstDBSOLEOBJ:
                    return make(name, 'G', kMemoPointerLength);
                default:
                    return make(name, 'M', kMemoPointerLength);
            }
        default:
            badType(name,
                    "type code " + std::to_string(type) + " cannot be stored in a dBase table");
    }
}

DbfField fromFieldType(const FieldDef& def) {
    const std::string& n = def.name;
    switch (def.type) {
        case TFieldType::ftString:
        case TFieldType::ftFixedChar:
        case TFieldType::ftWideString:
            return fromPhysical(n, fldDBCHAR, def.size, 0);
        case TFieldType::ftSmallint:
        case TFieldType::ftWord:
            return numeric(n, 'N', 6, 0);
        case TFieldType::ftInteger:
            return numeric(n, 'N', 11, 0);
        case TFieldType::ftLargeint:
            return numeric(n, 'N', kMaxNumericLength, 0);
        case TFieldType::ftFloat:
        case TFieldType::ftCurrency:
        case TFieldType::ftBCD:
            return numeric(n, 'N', kMaxNumericLength, 4);
        case TFieldType::ftDate:
            return make(n, 'D', 8);
        case TFieldType::ftBoolean:
            return make(n, 'L', 1);
        case TFieldType::ftMemo:
        case TFieldType::ftFmtMemo:
            return make(n, 'M', kMemoPointerLength);
        case TFieldType::ftBlob:
        case TFieldType::ftGraphic:
        case TFieldType::ftTypedBinary:
            return make(n, 'B', kMemoPointerLength);
        case TFieldType::ftDBaseOle:
        case TFieldType::ftParadoxOle:
            return make(n, 'G', kMemoPointerLength);
        case TFieldType::ftAutoInc:
            return make(n, '+', 4);
        case TFieldType::ftDateTime:
            return make(n, '@', 8);
        default:
            badType(n, "this field type cannot be stored in a dBase table");
    }
}

}  // namespace

DbfField dbfFieldFor(const FieldDef& def) {
    if (def.name.empty()) badSize("(unnamed)", "a field needs a name");
    if (def.physicalType >= fldDBCHAR && def.physicalType <= fldDBAUTOINC)
        return fromPhysical(def.name, def.physicalType, def.size, def.decimals);
    return fromFieldType(def);
}

DbfLevel requiredLevel(char type) {
    switch (type) {
        case 'F':
        case 'B':
        case 'G':
            return DbfLevel::IV;
        case 'I':
        case '+':
        case 'O':
        case '@':
            return DbfLevel::Seven;
        default:
            return DbfLevel::III;
    }
}

void checkFieldForLevel(const DbfField& f, DbfLevel level) {
    const std::size_t maxName = level == DbfLevel::Seven ? 31 : 10;
    if (f.name.size() > maxName)
        badSize(f.name, "a field name has at most " + std::to_string(maxName) + " characters");
    for (char c : f.name)
        if (c == ' ' || static_cast<unsigned char>(c) < 0x20)
            badSize(f.name, "a field name may not contain blanks or control characters");
    if (level == DbfLevel::III && f.type == 'N' && (f.length > 19 || f.decimals > 15))
        badSize(f.name, "dBase III numbers have at most 19 digits and 15 decimals");
}

FieldDef fieldFromDbaseDescriptor(const FLDDesc& desc) {
    const std::string name(desc.szName, strnlen(desc.szName, sizeof desc.szName));
    const DbfField f =
        desc.iFldType >= fldDBCHAR
            ? fromPhysical(name, desc.iFldType, desc.iUnits1, desc.iUnits2)
            : fromLogical(name, desc.iFldType, desc.iSubType, desc.iUnits1, desc.iUnits2);
    const DbfLevel level =
        requiredLevel(f.type) == DbfLevel::Seven ? DbfLevel::Seven : DbfLevel::IV;
    return fieldDefOf(f, level);
}

void describeDbaseField(const FieldDef& field, bool physical, FLDDesc& out) {
    std::memset(out.szName, 0, sizeof out.szName);
    std::memcpy(out.szName, field.name.data(), std::min(field.name.size(), sizeof out.szName - 1));
    out.iFldType = physical ? field.physicalType : field.logicalType;
    out.iSubType = physical ? 0 : field.subType;
    out.iUnits1 = static_cast<std::int16_t>(field.size);
    out.iUnits2 = static_cast<std::int16_t>(field.decimals);
    out.iLen = static_cast<std::uint16_t>(field.dataSize);
}

}  // namespace kx4::dbase
