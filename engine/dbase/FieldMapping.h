#pragma once
// Between engine field descriptions (FLDDesc, FieldDef) and dBase field descriptors.
#include "engine/core/TableSchema.h"
#include "engine/dbase/DbfHeader.h"

namespace kx4 {
struct FLDDesc;
}

namespace kx4::dbase {

// The dBase field a definition asks for. Definitions without a dBase physical type are
// mapped by their field type: ftSmallint N(6,0), ftInteger N(11,0), ftLargeint N(20,0),
// ftFloat / ftCurrency / ftBCD N(20,4), ftAutoInc '+', ftDateTime '@' (the last two need
// level 7). Raises DBIERR_INVALIDFLDTYPE or DBIERR_INVALIDPARAM naming the field.
DbfField dbfFieldFor(const FieldDef& def);

// The lowest level that can hold a field type: 'F', 'B', 'G' need IV; 'I', '+', 'O', '@' need 7.
DbfLevel requiredLevel(char type);

FieldDef fieldFromDbaseDescriptor(const FLDDesc& desc);
void describeDbaseField(const FieldDef& field, bool physical, FLDDesc& out);

// Checks limits of a field at a level (name length, sizes); raises naming the field.
void checkFieldForLevel(const DbfField& field, DbfLevel level);

}  // namespace kx4::dbase
