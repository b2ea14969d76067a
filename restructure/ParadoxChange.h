#pragma once
// Rewrites the definition of one field of an existing table in place: its type, length,
// decimals or name, while the engine copies every record into the new structure.
#include <cstdint>
#include <string>

#include "engine/Table.h"

namespace kx4 {

// What to change; a zero (or empty) member keeps that property of the field.
struct TFieldChange {
    char NewName[32] = {};
    std::uint16_t NewType = 0;
    std::uint16_t NewSubType = 0;
    std::uint16_t NewUnits1 = 0;
    std::uint8_t NewUnits2 = 0;
};

// The engine field-type code for a field-type code of the user interface (TFieldType ordinal);
// 0 when there is none.
std::uint16_t FieldTypeToEngineType(std::uint8_t fieldType);
// The subtype the engine expects with an engine field-type code (0 where the type has none).
std::uint16_t EngineSubTypeFor(std::uint16_t engineType);

// Applies `change` to the named field of `table` (DatabaseName and TableName set). Leaves the
// table open, shared. Raises the engine's error; the table is reopened shared first.
void RestructureField(TTable& table, const std::string& fieldName, const TFieldChange& change);

class TParadoxChange {
  public:
    explicit TParadoxChange(TSession& session = Session()) : session_(session) {}

    std::string DatabaseName;
    std::string TableName;

    // Changes the named field to the engine type of `fieldType` and, when size > 0, to that size.
    void ChangeField(const std::string& fieldName, std::uint8_t fieldType, std::uint16_t size);

  private:
    TSession& session_;
};

}  // namespace kx4
