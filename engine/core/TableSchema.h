#pragma once
// Plain value types describing a table: its fields, its indexes and its kind.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/FieldType.h"

namespace kx4 {

enum class TTableType { ttDefault, ttParadox, ttDBase, ttASCII };

// One field as stored. `physicalType` is the driver's own code (fldPDX*, fldDB*, or a logical
// code for text tables); `type` the table component's view of it.
struct FieldDef {
    std::string name;  // UTF-8
    TFieldType type = TFieldType::ftUnknown;
    std::uint16_t physicalType = 0;
    std::uint16_t logicalType = 0;  // fld* logical code
    std::uint16_t subType = 0;      // fldst* logical subtype, 0 if none
    int size = 0;      // declared size: characters, bytes, blob leader, BCD decimals; 0 if fixed
    int decimals = 0;  // dBase numeric decimals
    int dataSize = 0;  // bytes of the value in a record buffer (the table component's DataSize)
    bool required = false;

    bool operator==(const FieldDef&) const = default;
};

enum class IndexOption : std::uint8_t {
    ixPrimary = 1,
    ixUnique = 2,
    ixDescending = 4,
    ixCaseInsensitive = 8,
    ixExpression = 16,
    ixNonMaintained = 32,
};

// A set of IndexOption values.
class TIndexOptions {
  public:
    TIndexOptions() = default;
    TIndexOptions(IndexOption o) : bits_(static_cast<std::uint8_t>(o)) {}
    bool has(IndexOption o) const { return bits_ & static_cast<std::uint8_t>(o); }
    TIndexOptions& add(IndexOption o) {
        bits_ |= static_cast<std::uint8_t>(o);
        return *this;
    }
    bool empty() const { return bits_ == 0; }
    bool operator==(const TIndexOptions&) const = default;

  private:
    std::uint8_t bits_ = 0;
};

struct IndexDef {
    std::string name;        // empty for the Paradox primary index
    std::string fields;      // field names joined by ";"; empty for an expression index
    std::string expression;  // dBase key expression, empty otherwise
    TIndexOptions options;
    std::string tagName;  // dBase MDX tag, Paradox index file name stem
    // Why the index's files cannot be used ("out of date: ...", "damaged: ..."); empty when
    // they are sound. The table's data stays readable; rebuilding the indexes repairs it.
    std::string fault;

    bool operator==(const IndexDef&) const = default;
};

// An index on `fields` ("A;B") with `name` and `options`.
IndexDef indexOn(std::string name, std::string fields, TIndexOptions options = {});

struct TableSchema {
    std::vector<FieldDef> fields;
    std::vector<IndexDef> indexes;  // primary first
    bool operator==(const TableSchema&) const = default;

    // Position of a field by name (case-insensitive, as the engines compare them), or -1.
    int fieldIndex(const std::string& name) const;
};

// Splits "A;B;C" into its names; empty parts are dropped.
std::vector<std::string> splitFieldList(const std::string& list);
std::string joinFieldList(const std::vector<std::string>& names);

// Case-insensitive comparison of ASCII and UTF-8 names (Latin-1 letters folded as well).
bool sameName(const std::string& a, const std::string& b);

}  // namespace kx4
