#include "engine/core/FieldTypeFacts.h"

namespace kx4 {

namespace {

struct FieldTypeFacts {
    TFieldType type;
    EngineType engine;
    int recordDataSize;  // 0: follows the declared size
};

constexpr FieldTypeFacts kFacts[] = {
    {TFieldType::ftString, {fldZSTRING, 0}, 0},
    {TFieldType::ftSmallint, {fldINT16, 0}, 2},
    {TFieldType::ftInteger, {fldINT32, 0}, 4},
    {TFieldType::ftWord, {fldUINT16, 0}, 2},
    {TFieldType::ftBoolean, {fldBOOL, 0}, 2},
    {TFieldType::ftFloat, {fldFLOAT, 0}, 8},
    {TFieldType::ftCurrency, {fldFLOAT, fldstMONEY}, 8},
    {TFieldType::ftBCD, {fldBCD, 0}, 34},
    {TFieldType::ftDate, {fldDATE, 0}, 4},
    {TFieldType::ftTime, {fldTIME, 0}, 4},
    {TFieldType::ftDateTime, {fldTIMESTAMP, 0}, 8},
    {TFieldType::ftBytes, {fldBYTES, 0}, 0},
    {TFieldType::ftVarBytes, {fldVARBYTES, 0}, 0},
    {TFieldType::ftAutoInc, {fldINT32, fldstAUTOINC}, 4},
    {TFieldType::ftBlob, {fldBLOB, fldstBINARY}, 0},
    {TFieldType::ftMemo, {fldBLOB, fldstMEMO}, 0},
    {TFieldType::ftGraphic, {fldBLOB, fldstGRAPHIC}, 0},
    {TFieldType::ftFmtMemo, {fldBLOB, fldstFMTMEMO}, 0},
    {TFieldType::ftParadoxOle, {fldBLOB, fldstOLEOBJ}, 0},
    {TFieldType::ftDBaseOle, {fldBLOB, fldstDBSOLEOBJ}, 0},
    {TFieldType::ftTypedBinary, {fldBLOB, fldstTYPEDBINARY}, 0},
    {TFieldType::ftFixedChar, {fldZSTRING, 0}, 0},
    {TFieldType::ftWideString, {fldZSTRING, 0}, 0},
    {TFieldType::ftLargeint, {fldINT64, 0}, 8},
};

const FieldTypeFacts* factsOf(TFieldType type) {
    for (const auto& f : kFacts)
        if (f.type == type) return &f;
    return nullptr;
}

}  // namespace

EngineType engineTypeOf(TFieldType type) {
    const FieldTypeFacts* f = factsOf(type);
    return f ? f->engine : EngineType{};
}

int recordDataSizeOf(TFieldType type) {
    const FieldTypeFacts* f = factsOf(type);
    return f ? f->recordDataSize : 0;
}

}  // namespace kx4
