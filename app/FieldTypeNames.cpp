#include "FieldTypeNames.h"

namespace kx4 {

namespace {

struct Vocabulary {
    TFieldType type;
    const char* name;
    const char* code;
};

constexpr Vocabulary kVocabulary[] = {
    {TFieldType::ftString, "String", "A"},
    {TFieldType::ftSmallint, "SmallInt", "S"},
    {TFieldType::ftInteger, "Integer", "I"},
    {TFieldType::ftWord, "Word", "W"},
    {TFieldType::ftBoolean, "Boolean", "B"},
    {TFieldType::ftFloat, "Float", "F"},
    {TFieldType::ftCurrency, "Currency", "$"},
    {TFieldType::ftBCD, "BCD", "BCD"},
    {TFieldType::ftDate, "Date", "D"},
    {TFieldType::ftTime, "Time", "T"},
    {TFieldType::ftDateTime, "DateTime", "DT"},
    {TFieldType::ftBytes, "Bytes", "Bytes"},
    {TFieldType::ftVarBytes, "VarBytes", "VarBytes"},
    {TFieldType::ftBlob, "Blob", "Blob"},
    {TFieldType::ftMemo, "Memo", "M"},
    {TFieldType::ftGraphic, "Graphic", "Graphic"},
    {TFieldType::ftLargeint, "LargeInt", "L"},
};

const Vocabulary* find(TFieldType type) {
    for (const auto& v : kVocabulary)
        if (v.type == type) return &v;
    return nullptr;
}

bool lengthIsDeclaredSize(TFieldType type) {
    switch (type) {
        case TFieldType::ftString:
        case TFieldType::ftBytes:
        case TFieldType::ftVarBytes:
        case TFieldType::ftBlob:
        case TFieldType::ftMemo:
        case TFieldType::ftGraphic:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string browserTypeName(TFieldType type) {
    const Vocabulary* v = find(type);
    return v ? v->name : "Unknown";
}

std::string definitionTypeCode(TFieldType type) {
    const Vocabulary* v = find(type);
    return v ? v->code : "U";
}

int recordDataSize(TFieldType type) {
    switch (type) {
        case TFieldType::ftSmallint:
        case TFieldType::ftWord:
        case TFieldType::ftBoolean:
            return 2;
        case TFieldType::ftInteger:
        case TFieldType::ftAutoInc:
        case TFieldType::ftDate:
        case TFieldType::ftTime:
            return 4;
        case TFieldType::ftFloat:
        case TFieldType::ftCurrency:
        case TFieldType::ftDateTime:
        case TFieldType::ftLargeint:
            return 8;
        case TFieldType::ftBCD:
            return 34;
        default:
            return 0;
    }
}

std::string shownLength(TFieldType type, int declaredSize) {
    int length = recordDataSize(type);
    int declared = 0;
    if (lengthIsDeclaredSize(type)) length = declaredSize;
    if (type == TFieldType::ftBCD) declared = declaredSize;
    return std::to_string(declared != 0 ? declared : length);
}

}  // namespace kx4
