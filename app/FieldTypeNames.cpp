#include "app/FieldTypeNames.h"

#include "engine/core/FieldTypeFacts.h"

namespace kx4 {

namespace {

struct Vocabulary {
    TFieldType type;
    const char* name;
    const char* code;
    bool lengthIsDeclaredSize;  // the length shown is the declared size
};

constexpr Vocabulary kVocabulary[] = {
    {TFieldType::ftString, "String", "A", true},
    {TFieldType::ftSmallint, "SmallInt", "S", false},
    {TFieldType::ftInteger, "Integer", "I", false},
    {TFieldType::ftWord, "Word", "W", false},
    {TFieldType::ftBoolean, "Boolean", "B", false},
    {TFieldType::ftFloat, "Float", "F", false},
    {TFieldType::ftCurrency, "Currency", "$", false},
    {TFieldType::ftBCD, "BCD", "BCD", false},
    {TFieldType::ftDate, "Date", "D", false},
    {TFieldType::ftTime, "Time", "T", false},
    {TFieldType::ftDateTime, "DateTime", "DT", false},
    {TFieldType::ftBytes, "Bytes", "Bytes", true},
    {TFieldType::ftVarBytes, "VarBytes", "VarBytes", true},
    {TFieldType::ftBlob, "Blob", "Blob", true},
    {TFieldType::ftMemo, "Memo", "M", true},
    {TFieldType::ftGraphic, "Graphic", "Graphic", true},
    {TFieldType::ftLargeint, "LargeInt", "L", false},
};

const Vocabulary* find(TFieldType type) {
    for (const auto& v : kVocabulary)
        if (v.type == type) return &v;
    return nullptr;
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

bool lengthIsDeclaredSize(TFieldType type) {
    const Vocabulary* v = find(type);
    return v && v->lengthIsDeclaredSize;
}

std::string shownLength(TFieldType type, int declaredSize) {
    int length = recordDataSizeOf(type);
    int declared = 0;
    if (lengthIsDeclaredSize(type)) length = declaredSize;
    if (type == TFieldType::ftBCD) declared = declaredSize;
    return std::to_string(declared != 0 ? declared : length);
}

}  // namespace kx4
