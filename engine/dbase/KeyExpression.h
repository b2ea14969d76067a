#pragma once
// dBase index key expressions: field names, string literals, "+" and the functions dBase
// tags are commonly built with (UPPER, LOWER, DTOS, STR, SUBSTR, LEFT, RIGHT, TRIM, RTRIM,
// LTRIM, VAL). Evaluated on raw record bytes, so keys are in the table's code page.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/dbase/DbfHeader.h"
#include "engine/dbase/KeyEncoding.h"

namespace kx4 {
class TextCodec;
}

namespace kx4::dbase {

class KeyExpression {
  public:
    // Raises EDBEngineError (DBIERR_NOTSUPPORTED for unknown functions, DBIERR_NOSUCHFIELD,
    // DBIERR_INVALIDPARAM for syntax) naming the expression.
    KeyExpression(const std::string& text, const std::vector<DbfField>& fields, DbfLevel level);
    ~KeyExpression();
    KeyExpression(KeyExpression&&) noexcept;
    KeyExpression& operator=(KeyExpression&&) noexcept;

    const std::string& text() const { return text_; }
    KeyType type() const { return type_; }
    int keyLength() const { return keyLength_; }
    // Index of the field when the expression is exactly one field name.
    std::optional<int> singleField() const { return singleField_; }

    // Key bytes for one record (the whole record buffer, deletion flag first).
    KeyBytes evaluate(const std::uint8_t* record, const TextCodec& codec) const;

    struct Node;

  private:
    std::string text_;
    std::unique_ptr<Node> root_;
    const std::vector<DbfField>* fields_;
    DbfLevel level_;
    KeyType type_ = KeyType::Character;
    int keyLength_ = 0;
    std::optional<int> singleField_;
};

// Upper-cases text in a code page (letters outside ASCII too, where the code page has both).
std::string upperInCodePage(const std::string& bytes, const TextCodec& codec);

}  // namespace kx4::dbase
