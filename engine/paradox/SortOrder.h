#pragma once
// Sort orders (collations) of Paradox tables: the id byte at 0x29, the name stored by level 4
// and later, the code page they imply, and the order in which key values sort.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/paradox/ParadoxHeader.h"

namespace kx4 {
class TextCodec;
}

namespace kx4::paradox {

struct SortOrder {
    std::uint8_t id = 0;
    std::string name;
};

// The sort order of new tables: binary order of code page 1252.
SortOrder defaultSortOrder();
inline constexpr int kDefaultCodePage = 1252;

// The code page a table's text is stored in.
int codePageOf(const Header& header);
// The code page the header names, by its code page field or a known sort order; 0 for none.
int namedCodePage(const Header& header);

// The name a level 4+ header needs for a sort order known only by its id (level 3 tables).
std::string sortOrderNameFor(std::uint8_t id);

// Whether the sort order compares letters without regard to case and accents ("intl" orders)
// rather than by byte value ("ascii" orders).
bool isDictionaryOrder(const SortOrder& order);

// Capitals of a code page, byte for byte: a case-insensitive index stores its text keys so.
// A letter whose capital the code page lacks (ß, and ÿ outside code pages with Ÿ) stays.
class CaseFolder {
  public:
    explicit CaseFolder(const TextCodec& codec);
    // Upper-cases alpha text of `size` bytes up to its first NUL.
    void apply(std::uint8_t* text, std::size_t size) const;
    bool isUpper(const std::uint8_t* text, std::size_t size) const;
    std::uint8_t upper(std::uint8_t byte) const { return upper_[byte]; }

  private:
    std::array<std::uint8_t, 256> upper_{};
};

// Builds byte strings whose byte-wise order is the order of key values.
class KeyCollator {
  public:
    // `fields` are the key fields, stored back to back in the key bytes. A case-insensitive
    // collator compares letters regardless of case even in a binary sort order.
    KeyCollator(std::vector<FieldInfo> fields, const SortOrder& order, const TextCodec& codec,
                bool caseInsensitive = false);
    // Order of the values, the exact bytes deciding between values that compare equal.
    std::string sortKey(const std::uint8_t* key) const;
    // Order of the values alone: equal for values the sort order does not tell apart.
    std::string orderKey(const std::uint8_t* key) const;
    // The same, appended to `out`.
    void appendSortKey(const std::uint8_t* key, std::string& out) const;
    void appendOrderKey(const std::uint8_t* key, std::string& out) const;
    std::size_t keySize() const { return keySize_; }
    // Whether keys sort as their stored bytes (then the sort key is those bytes).
    bool bytewise() const { return !folded_; }
    // How orderKey(a) and sortKey(a) compare with those of b (<0, 0, >0) without building
    // them; only when comparesDirectly().
    int compareOrder(const std::uint8_t* a, const std::uint8_t* b) const;
    int compareSort(const std::uint8_t* a, const std::uint8_t* b) const;
    // True unless a character weighs zero, which would make text look like its end.
    bool comparesDirectly() const { return direct_; }

  private:
    std::vector<FieldInfo> fields_;
    std::size_t keySize_ = 0;
    bool folded_ = false;  // text compared by weights rather than bytes
    bool direct_ = true;
    std::array<std::uint16_t, 256> weights_{};
};

}  // namespace kx4::paradox
