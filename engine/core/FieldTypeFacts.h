#pragma once
// What the engine knows of each field type of the table component: the logical engine type a
// table stores it as, and the bytes its value takes in a record buffer. Every driver, the table
// maintenance and the field lists take these facts from here.
#include <cstdint>

#include "engine/core/FieldType.h"

namespace kx4 {

// A logical engine type: an fld* code with the fldst* subtype that completes it (0 for none).
struct EngineType {
    std::uint16_t type = fldUNKNOWN;
    std::uint16_t subType = 0;
    friend bool operator==(const EngineType&, const EngineType&) = default;
};

// The logical engine type a table stores `type` as; fldUNKNOWN for the types no table holds
// (ftUnknown, ftCursor and the object types).
EngineType engineTypeOf(TFieldType type);

// Bytes of the value in a record buffer (the table component's DataSize) for the types whose
// value has a fixed size; 0 for the types whose size follows the declared size.
int recordDataSizeOf(TFieldType type);

}  // namespace kx4
