#include "engine/dbase/KeyExpression.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/core/Errors.h"
#include "engine/core/TableSchema.h"
#include "engine/core/TextCodec.h"
#include "engine/core/Utf8.h"
#include "engine/core/Value.h"
#include "engine/dbase/ByteOrder.h"

namespace kx4::dbase {

namespace {

constexpr int kMaxCharacterKey = 100;  // dBase's limit for a character key

enum class Kind { Field, Text, Number, Call, Plus, Minus };

struct Value {
    KeyType type = KeyType::Character;
    std::string text;
    double number = 0;
    std::int32_t day = 0;  // ordinal day, 0 = blank
};

[[noreturn]] void syntaxError(const std::string& expr, const std::string& what) {
    throwEngineError(DBIERR_INVALIDPARAM, "Index expression '" + expr + "': " + what);
}

std::string upperAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::uint32_t upperCodePoint(std::uint32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
    if (c >= 0x100 && c <= 0x17F && (c % 2) == 1 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x17F)
        return c - 1;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    return c;
}

std::string upperUtf8(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t start = i;
        const char32_t c = nextCodePoint(s, i);
        if (c < 0x10000)
            appendUtf8(out, upperCodePoint(c));
        else
            out.append(s, start, i - start);  // no case there: the bytes as they are
    }
    return out;
}

}  // namespace

std::string upperInCodePage(const std::string& bytes, const TextCodec& codec) {
    bool ascii = true;
    for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return upperAscii(bytes);
    try {
        std::string upper = codec.fromUtf8(upperUtf8(codec.toUtf8(bytes)));
        if (upper.size() == bytes.size()) return upper;
    } catch (const EDBEngineError&) {
    }
    return upperAscii(bytes);
}

struct KeyExpression::Node {
    Kind kind = Kind::Text;
    KeyType type = KeyType::Character;
    int length = 0;  // character results: their width
    int field = -1;
    std::string name;  // function name
    Value literal;
    std::vector<std::unique_ptr<Node>> args;
};

namespace {

using Node = KeyExpression::Node;

class Parser {
  public:
    Parser(const std::string& text, const std::vector<DbfField>& fields)
        : s_(text), fields_(fields) {}

    std::unique_ptr<Node> parseAll() {
        auto node = parseSum();
        skipSpace();
        if (pos_ != s_.size()) syntaxError(s_, "unexpected '" + s_.substr(pos_) + "'");
        return node;
    }

  private:
    void skipSpace() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
    }
    bool accept(char c) {
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void expect(char c) {
        if (!accept(c)) syntaxError(s_, std::string("'") + c + "' expected");
    }

    std::unique_ptr<Node> parseSum() {
        auto left = parseTerm();
        for (;;) {
            Kind kind;
            if (accept('+'))
                kind = Kind::Plus;
            else if (accept('-'))
                kind = Kind::Minus;
            else
                return left;
            auto right = parseTerm();
            auto node = std::make_unique<Node>();
            node->kind = kind;
            if (left->type == KeyType::Character && right->type == KeyType::Character) {
                node->type = KeyType::Character;
                node->length = left->length + right->length;
            } else if (left->type == KeyType::Numeric && right->type == KeyType::Numeric) {
                node->type = KeyType::Numeric;
            } else if (left->type == KeyType::Date && right->type == KeyType::Numeric) {
                node->type = KeyType::Date;
            } else {
                syntaxError(s_, "operands of '+' or '-' have different types");
            }
            node->args.push_back(std::move(left));
            node->args.push_back(std::move(right));
            left = std::move(node);
        }
    }

    std::unique_ptr<Node> parseTerm() {
        skipSpace();
        if (pos_ >= s_.size()) syntaxError(s_, "the expression ends early");
        const char c = s_[pos_];
        if (c == '(') {
            ++pos_;
            auto inner = parseSum();
            expect(')');
            return inner;
        }
        if (c == '\'' || c == '"') return parseString(c);
        if ((c >= '0' && c <= '9') || c == '.') return parseNumber();
        return parseName();
    }

    std::unique_ptr<Node> parseString(char quote) {
        const auto end = s_.find(quote, pos_ + 1);
        if (end == std::string::npos) syntaxError(s_, "unterminated string");
        auto node = std::make_unique<Node>();
        node->kind = Kind::Text;
        node->literal.text = s_.substr(pos_ + 1, end - pos_ - 1);
        node->length = static_cast<int>(node->literal.text.size());
        pos_ = end + 1;
        return node;
    }

    std::unique_ptr<Node> parseNumber() {
        std::size_t end = pos_;
        while (end < s_.size() && ((s_[end] >= '0' && s_[end] <= '9') || s_[end] == '.')) ++end;
        auto node = std::make_unique<Node>();
        node->kind = Kind::Number;
        node->type = KeyType::Numeric;
        std::from_chars(s_.data() + pos_, s_.data() + end, node->literal.number);
        pos_ = end;
        return node;
    }

    std::string identifier() {
        skipSpace();
        const std::size_t start = pos_;
        while (pos_ < s_.size() &&
               (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_' ||
                static_cast<unsigned char>(s_[pos_]) >= 0x80))
            ++pos_;
        if (start == pos_) syntaxError(s_, "unexpected '" + s_.substr(pos_, 1) + "'");
        return s_.substr(start, pos_ - start);
    }

    std::unique_ptr<Node> parseName() {
        std::string name = identifier();
        skipSpace();
        if (s_.compare(pos_, 2, "->") == 0) {  // ALIAS->FIELD: the alias is this table
            pos_ += 2;
            name = identifier();
        }
        if (accept('(')) return parseCall(upperAscii(name));
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (sameName(fields_[i].name, name)) return fieldNode(static_cast<int>(i));
        throwEngineError(DBIERR_NOSUCHFIELD,
                         "Index expression '" + s_ + "': the table has no field " + name);
    }

    std::unique_ptr<Node> fieldNode(int index) {
        const DbfField& f = fields_[static_cast<std::size_t>(index)];
        auto node = std::make_unique<Node>();
        node->kind = Kind::Field;
        node->field = index;
        switch (f.type) {
            case 'C':
                node->type = KeyType::Character;
                node->length = f.length;
                break;
            case 'N':
            case 'F':
            case 'I':
            case '+':
            case 'O':
            case 'Y':
                node->type = KeyType::Numeric;
                break;
            case 'D':
                node->type = KeyType::Date;
                break;
            default:
                throwEngineError(DBIERR_NOTSUPPORTED,
                                 "Index expression '" + s_ + "': field " + f.name + " of type " +
                                     std::string(1, f.type) + " cannot be part of an index");
        }
        return node;
    }

    int numberArg(const Node& n) {
        if (n.kind != Kind::Number) syntaxError(s_, "a number is expected as argument");
        return static_cast<int>(n.literal.number);
    }

    std::unique_ptr<Node> parseCall(const std::string& name) {
        auto node = std::make_unique<Node>();
        node->kind = Kind::Call;
        node->name = name;
        if (!accept(')')) {
            do node->args.push_back(parseSum());
            while (accept(','));
            expect(')');
        }
        auto& a = node->args;
        const auto want = [&](std::size_t lo, std::size_t hi, KeyType first) {
            if (a.size() < lo || a.size() > hi || a[0]->type != first)
                syntaxError(s_, "wrong arguments for " + name + "()");
        };
        if (name == "UPPER" || name == "LOWER" || name == "TRIM" || name == "RTRIM" ||
            name == "LTRIM" || name == "ALLTRIM") {
            want(1, 1, KeyType::Character);
            node->length = a[0]->length;
        } else if (name == "DTOS") {
            want(1, 1, KeyType::Date);
            node->length = 8;
        } else if (name == "STR") {
            want(1, 3, KeyType::Numeric);
            node->length = a.size() > 1 ? numberArg(*a[1]) : 10;
        } else if (name == "SUBSTR") {
            want(2, 3, KeyType::Character);
            const int start = numberArg(*a[1]);
            node->length = a.size() > 2 ? numberArg(*a[2]) : a[0]->length - start + 1;
        } else if (name == "LEFT" || name == "RIGHT") {
            want(2, 2, KeyType::Character);
            node->length = numberArg(*a[1]);
        } else if (name == "VAL") {
            want(1, 1, KeyType::Character);
            node->type = KeyType::Numeric;
        } else {
            throwEngineError(DBIERR_NOTSUPPORTED, "Index expression '" + s_ + "': the function " +
                                                      name + "() is not supported");
        }
        if (node->type == KeyType::Character && (node->length < 0 || node->length > 255))
            syntaxError(s_, "a result of " + name + "() has an invalid length");
        return node;
    }

    const std::string& s_;
    const std::vector<DbfField>& fields_;
    std::size_t pos_ = 0;
};

double parseNumberText(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '+')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    double v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

std::int32_t parseDateText(const std::uint8_t* p) {
    int y = 0, m = 0, d = 0;
    for (int i = 0; i < 8; ++i) {
        if (p[i] < '0' || p[i] > '9') return 0;
        const int digit = p[i] - '0';
        if (i < 4)
            y = y * 10 + digit;
        else if (i < 6)
            m = m * 10 + digit;
        else
            d = d * 10 + digit;
    }
    if (y == 0 || !isValidYmd(y, m, d)) return 0;
    return dateFromYmd(y, m, d).day;
}

std::string fitWidth(std::string s, int width) {
    s.resize(static_cast<std::size_t>(std::max(width, 0)), ' ');
    return s;
}

struct Evaluator {
    const std::vector<DbfField>& fields;
    DbfLevel level;
    const std::uint8_t* record;
    const TextCodec& codec;

    Value field(int index) const {
        const DbfField& f = fields[static_cast<std::size_t>(index)];
        const std::uint8_t* p = record + f.offset;
        Value v;
        switch (f.type) {
            case 'C':
                v.text.assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.length));
                return v;
            case 'D':
                v.type = KeyType::Date;
                v.day = f.length >= 8 ? parseDateText(p) : 0;
                return v;
            case 'I':
            case '+':
                v.type = KeyType::Numeric;
                if (level == DbfLevel::Seven) {
                    const std::uint32_t raw = getBe32(p);
                    v.number = raw == 0 ? 0 : static_cast<std::int32_t>(raw ^ 0x80000000u);
                } else {
                    v.number = static_cast<std::int32_t>(getLe32(p));
                }
                return v;
            case 'O': {
                v.type = KeyType::Numeric;
                std::uint64_t bits = getBe64(p);
                if (bits != 0) {
                    bits = (bits >> 63) ? bits ^ (1ull << 63) : ~bits;
                    v.number = doubleFromBits(bits);
                }
                return v;
            }
            case 'Y':
                v.type = KeyType::Numeric;
                v.number = static_cast<double>(static_cast<std::int64_t>(getLe64(p))) / 10000.0;
                return v;
            default:
                v.type = KeyType::Numeric;
                v.number = parseNumberText(std::string_view(reinterpret_cast<const char*>(p),
                                                            static_cast<std::size_t>(f.length)));
                return v;
        }
    }

    Value call(const Node& n) const {
        std::vector<Value> a;
        for (const auto& arg : n.args) a.push_back(eval(*arg));
        Value v;
        if (n.name == "UPPER") {
            v.text = upperInCodePage(a[0].text, codec);
        } else if (n.name == "LOWER") {
            v.text = a[0].text;
            for (auto& c : v.text)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        } else if (n.name == "TRIM" || n.name == "RTRIM") {
            v.text = a[0].text;
            while (!v.text.empty() && v.text.back() == ' ') v.text.pop_back();
        } else if (n.name == "LTRIM" || n.name == "ALLTRIM") {
            v.text = a[0].text;
            v.text.erase(0, std::min(v.text.find_first_not_of(' '), v.text.size()));
            if (n.name == "ALLTRIM")
                while (!v.text.empty() && v.text.back() == ' ') v.text.pop_back();
        } else if (n.name == "DTOS") {
            if (a[0].day == 0) {
                v.text = std::string(8, ' ');
            } else {
                int y, m, d;
                ymdFromDate(Date{a[0].day}, y, m, d);
                char buf[16];
                std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
                v.text = buf;
            }
        } else if (n.name == "STR") {
            const int width = n.length;
            const int decimals = n.args.size() > 2 ? static_cast<int>(a[2].number) : 0;
            char buf[400];
            std::snprintf(buf, sizeof buf, "%*.*f", width, std::max(decimals, 0), a[0].number);
            v.text = buf;
            if (static_cast<int>(v.text.size()) > width)
                v.text = std::string(static_cast<std::size_t>(width), '*');
        } else if (n.name == "SUBSTR") {
            const auto start =
                static_cast<std::size_t>(std::max(1, static_cast<int>(a[1].number)) - 1);
            v.text = start < a[0].text.size() ? a[0].text.substr(start) : "";
            v.text = fitWidth(v.text, n.length);
        } else if (n.name == "LEFT") {
            v.text = fitWidth(a[0].text.substr(0, static_cast<std::size_t>(n.length)), n.length);
        } else if (n.name == "RIGHT") {
            const auto len = static_cast<std::size_t>(n.length);
            v.text = a[0].text.size() > len ? a[0].text.substr(a[0].text.size() - len) : a[0].text;
        } else if (n.name == "VAL") {
            v.type = KeyType::Numeric;
            v.number = parseNumberText(a[0].text);
        }
        return v;
    }

    Value eval(const Node& n) const {
        switch (n.kind) {
            case Kind::Field:
                return field(n.field);
            case Kind::Text:
            case Kind::Number:
                return n.literal;
            case Kind::Call:
                return call(n);
            case Kind::Plus:
            case Kind::Minus: {
                Value l = eval(*n.args[0]);
                const Value r = eval(*n.args[1]);
                const bool plus = n.kind == Kind::Plus;
                if (n.type == KeyType::Character) {
                    if (plus) {
                        l.text += r.text;
                    } else {  // "-" moves the left side's trailing blanks to the end
                        std::size_t end = l.text.size();
                        while (end > 0 && l.text[end - 1] == ' ') --end;
                        const std::size_t blanks = l.text.size() - end;
                        l.text = l.text.substr(0, end) + r.text + std::string(blanks, ' ');
                    }
                } else if (n.type == KeyType::Numeric) {
                    l.number = plus ? l.number + r.number : l.number - r.number;
                } else if (l.day != 0) {
                    l.day += static_cast<std::int32_t>(plus ? r.number : -r.number);
                }
                return l;
            }
        }
        return {};
    }
};

}  // namespace

KeyExpression::KeyExpression(const std::string& text, const std::vector<DbfField>& fields,
                             DbfLevel level)
    : text_(text), fields_(&fields), level_(level) {
    Parser parser(text, fields);
    root_ = parser.parseAll();
    type_ = root_->type;
    if (root_->kind == Kind::Field) singleField_ = root_->field;
    switch (type_) {
        case KeyType::Character:
            keyLength_ = root_->length;
            if (keyLength_ < 1 || keyLength_ > kMaxCharacterKey)
                syntaxError(text, "the key is " + std::to_string(keyLength_) +
                                      " characters long; dBase allows 1 to 100");
            break;
        case KeyType::Numeric:
            keyLength_ = kNumericKeyLength;
            break;
        case KeyType::Date:
            keyLength_ = kDateKeyLength;
            break;
    }
}

KeyExpression::~KeyExpression() = default;
KeyExpression::KeyExpression(KeyExpression&&) noexcept = default;
KeyExpression& KeyExpression::operator=(KeyExpression&&) noexcept = default;

KeyBytes KeyExpression::evaluate(const std::uint8_t* record, const TextCodec& codec) const {
    const Evaluator evaluator{*fields_, level_, record, codec};
    const Value v = evaluator.eval(*root_);
    switch (type_) {
        case KeyType::Character: {
            const std::string text = fitWidth(v.text, keyLength_);
            return KeyBytes(text.begin(), text.end());
        }
        case KeyType::Numeric:
            return encodeNumericKey(v.number);
        case KeyType::Date:
            return encodeDateKey(v.day);
    }
    return {};
}

}  // namespace kx4::dbase
