#include "engine/paradox/SortOrder.h"

#include <cstring>
#include <locale>
#include <stdexcept>

#include "engine/core/TextCodec.h"
#include "engine/paradox/FieldCodec.h"
#include "engine/paradox/FieldTypes.h"

namespace kx4::paradox {

namespace {

struct KnownOrder {
    std::uint8_t id;
    const char* name;
    int codePage;
    bool dictionary;
};

// Id bytes, names and code pages seen in real tables and in public format notes.
constexpr KnownOrder kKnownOrders[] = {
    {0x00, "ascii", 437, false},    {0xB7, "intl", 437, true},      {0x54, "intl850", 850, true},
    {0x82, "nordan", 865, true},    {0xE6, "nordan40", 865, true},  {0xF0, "swedfin", 437, true},
    {0x16, "SPANISH", 437, true},   {0x62, "ANSIINTL", 1252, true}, {0x11, "ANSII850", 1252, true},
    {0x5D, "ANSISPAN", 1252, true}, {0x69, "ANSISWFN", 1252, true}, {0x4C, "DBWINUS0", 1252, false},
    {0x40, "DBWINWE0", 1252, true}, {0x18, "BLLT1DE0", 1252, true}, {0x03, "china", 936, false},
    {0xC0, "cyrr", 866, false},
};

const KnownOrder* findByName(const std::string& name) {
    for (const auto& k : kKnownOrders)
        if (!name.empty() && name == k.name) return &k;
    return nullptr;
}

const KnownOrder* findById(std::uint8_t id) {
    for (const auto& k : kKnownOrders)
        if (k.id == id) return &k;
    return nullptr;
}

// Upper-case base letter of a Latin-1 code point, so that accents and case do not separate
// words in dictionary orders.
char32_t foldLatin(char32_t c) {
    static constexpr char kBase[] =
        "AAAAAAACEEEEIIIIDNOOOOO*OUUUUYPSAAAAAAACEEEEIIIIDNOOOOO/OUUUUYPY";
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7)
        return static_cast<unsigned char>(kBase[c - 0xC0]);
    return c;
}

// Capital of a Latin-1 small letter; other characters unchanged.
char32_t upperLatin(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    return c;
}

char32_t firstCodePoint(const std::string& utf8) {
    if (utf8.empty()) return 0;
    const auto c = static_cast<unsigned char>(utf8[0]);
    const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t cp = extra ? c & (0x3F >> extra) : c;
    for (int k = 1; k <= extra && k < static_cast<int>(utf8.size()); ++k)
        cp = cp << 6 | (static_cast<unsigned char>(utf8[k]) & 0x3F);
    return cp;
}

char32_t codePointOf(std::uint8_t byte, const TextCodec& codec) {
    if (byte < 0x80) return byte;
    const char c = static_cast<char>(byte);
    try {
        return firstCodePoint(codec.toUtf8(std::string_view(&c, 1)));
    } catch (const std::exception&) {
        return byte;  // a byte the code page does not define keeps its own place
    }
}

std::string utf8Of(char32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// The capital of a character by the C library's Unicode tables, for Latin-1 alone without them.
char32_t capitalOf(char32_t c) {
    static const std::locale* unicode = [] {
        try {
            return new std::locale("C.UTF-8");
        } catch (const std::runtime_error&) {
            return static_cast<std::locale*>(nullptr);
        }
    }();
    if (!unicode) return c == 0xFF ? c : upperLatin(c);
    return static_cast<char32_t>(std::toupper(static_cast<wchar_t>(c), *unicode));
}

}  // namespace

CaseFolder::CaseFolder(const TextCodec& codec) {
    for (unsigned b = 0; b < 256; ++b) {
        upper_[b] = static_cast<std::uint8_t>(b);
        const char32_t cp = codePointOf(static_cast<std::uint8_t>(b), codec);
        const char32_t capital = capitalOf(cp);
        if (capital == cp || capital > 0xFFFF) continue;
        try {
            const std::string encoded = codec.fromUtf8(utf8Of(capital));
            if (encoded.size() == 1) upper_[b] = static_cast<std::uint8_t>(encoded[0]);
        } catch (const std::exception&) {
            // The code page has no such capital: the letter stays as it is.
        }
    }
}

void CaseFolder::apply(std::uint8_t* text, std::size_t size) const {
    for (std::size_t i = 0; i < size && text[i]; ++i) text[i] = upper_[text[i]];
}

bool CaseFolder::isUpper(const std::uint8_t* text, std::size_t size) const {
    for (std::size_t i = 0; i < size && text[i]; ++i)
        if (upper_[text[i]] != text[i]) return false;
    return true;
}

SortOrder defaultSortOrder() { return {0x4C, "DBWINUS0"}; }

int namedCodePage(const Header& h) {
    if (h.hasExtension() && h.codePage != 0) return h.codePage;
    if (const auto* k = findByName(h.sortOrderName)) return k->codePage;
    if (!h.hasExtension())
        if (const auto* k = findById(h.sortOrder)) return k->codePage;
    return 0;
}

int codePageOf(const Header& h) {
    if (const int named = namedCodePage(h)) return named;
    return h.hasExtension() ? kDefaultCodePage : 437;
}

std::string sortOrderNameFor(std::uint8_t id) {
    const auto* k = findById(id);
    return k ? k->name : "ascii";
}

bool isDictionaryOrder(const SortOrder& order) {
    if (const auto* k = findByName(order.name)) return k->dictionary;
    if (!order.name.empty()) return false;
    const auto* k = findById(order.id);
    return k && k->dictionary;
}

KeyCollator::KeyCollator(std::vector<FieldInfo> fields, const SortOrder& order,
                         const TextCodec& codec, bool caseInsensitive)
    : fields_(std::move(fields)) {
    for (const auto& f : fields_) keySize_ += storedSize(f);
    const bool dictionary = isDictionaryOrder(order);
    folded_ = dictionary || caseInsensitive;
    if (!folded_) return;
    std::array<char32_t, 256> codePoints{};
    for (unsigned b = 0; b < 256; ++b)
        codePoints[b] = codePointOf(static_cast<std::uint8_t>(b), codec);
    for (unsigned b = 0; b < 256; ++b) {
        if (dictionary) {
            // Dictionary orders ignore case and accents.
            weights_[b] = static_cast<std::uint16_t>(foldLatin(codePoints[b]) & 0xFFFF);
            continue;
        }
        // Binary orders keep the byte order and only put each small letter on its capital.
        const char32_t upper = upperLatin(codePoints[b]);
        unsigned weight = b;
        for (unsigned u = 0; u < 256 && upper != codePoints[b]; ++u)
            if (codePoints[u] == upper) {
                weight = u;
                break;
            }
        weights_[b] = static_cast<std::uint16_t>(weight);
    }
    for (unsigned b = 1; b < 256; ++b) direct_ = direct_ && weights_[b] != 0;
}

int KeyCollator::compareOrder(const std::uint8_t* a, const std::uint8_t* b) const {
    if (!folded_) return std::memcmp(a, b, keySize_);
    std::size_t offset = 0;
    for (const auto& f : fields_) {
        const int n = storedSize(f);
        if (f.type == pxAlpha) {
            // Text ends at its first NUL; ended text sorts before any character.
            for (int i = 0; i < n; ++i) {
                const std::uint8_t x = a[offset + i], y = b[offset + i];
                const int wx = x ? weights_[x] : -1, wy = y ? weights_[y] : -1;
                if (wx != wy) return wx < wy ? -1 : 1;
                if (!x) break;
            }
        } else if (const int c = std::memcmp(a + offset, b + offset, n)) {
            return c;
        }
        offset += n;
    }
    return 0;
}

int KeyCollator::compareSort(const std::uint8_t* a, const std::uint8_t* b) const {
    if (!folded_) return std::memcmp(a, b, keySize_);
    if (const int c = compareOrder(a, b)) return c;
    return std::memcmp(a, b, keySize_);
}

std::string KeyCollator::sortKey(const std::uint8_t* key) const {
    std::string out;
    appendSortKey(key, out);
    return out;
}

std::string KeyCollator::orderKey(const std::uint8_t* key) const {
    std::string out;
    appendOrderKey(key, out);
    return out;
}

void KeyCollator::appendSortKey(const std::uint8_t* key, std::string& out) const {
    if (folded_) appendOrderKey(key, out);
    // Exact bytes decide between values that compare equal.
    out.append(reinterpret_cast<const char*>(key), keySize_);
}

void KeyCollator::appendOrderKey(const std::uint8_t* key, std::string& out) const {
    if (!folded_) {
        out.append(reinterpret_cast<const char*>(key), keySize_);
        return;
    }
    std::size_t offset = 0;
    for (const auto& f : fields_) {
        const int n = storedSize(f);
        if (f.type == pxAlpha) {
            // Two weight bytes a character, then two zero bytes.
            const auto* text = key + offset;
            const auto* nul = static_cast<const std::uint8_t*>(std::memchr(text, 0, n));
            const std::size_t length = nul ? static_cast<std::size_t>(nul - text) : n;
            const std::size_t start = out.size();
            out.resize(start + 2 * length + 2);
            char* p = out.data() + start;
            for (std::size_t i = 0; i < length; ++i) {
                const std::uint16_t w = weights_[text[i]];
                *p++ = static_cast<char>(w >> 8);
                *p++ = static_cast<char>(w & 0xFF);
            }
            *p++ = '\0';
            *p = '\0';
        } else {
            out.append(reinterpret_cast<const char*>(key + offset), n);
        }
        offset += n;
    }
}

}  // namespace kx4::paradox
