#include "engine/sql/AlterTable.h"

#include <cctype>
#include <vector>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/TableSchema.h"

namespace kx4 {

namespace {

struct Token {
    enum class Kind { Word, Quoted, Number, Symbol, End };
    Kind kind;
    std::string text;
    std::size_t position;  // 1-based
};

[[noreturn]] void syntaxError(std::size_t position, const std::string& what) {
    throwEngineError(DBIERR_QRYSYNTAX,
                     "Invalid SQL statement at position " + std::to_string(position) + ": " + what);
}

std::vector<Token> tokenize(const std::string& sql) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < sql.size()) {
        const unsigned char c = static_cast<unsigned char>(sql[i]);
        const std::size_t start = i + 1;
        if (std::isspace(c)) {
            ++i;
        } else if (c == '"') {
            std::string text;
            ++i;
            for (;;) {
                if (i >= sql.size()) syntaxError(start, "the quoted name is not closed");
                if (sql[i] == '"') {
                    if (i + 1 < sql.size() && sql[i + 1] == '"') {
                        text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += sql[i++];
            }
            tokens.push_back({Token::Kind::Quoted, text, start});
        } else if (std::isalpha(c) || c == '_' || c >= 0x80) {
            std::size_t j = i;
            while (j < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[j])) ||
                                      sql[j] == '_' || static_cast<unsigned char>(sql[j]) >= 0x80))
                ++j;
            tokens.push_back({Token::Kind::Word, sql.substr(i, j - i), start});
            i = j;
        } else if (std::isdigit(c)) {
            std::size_t j = i;
            while (j < sql.size() && std::isdigit(static_cast<unsigned char>(sql[j]))) ++j;
            tokens.push_back({Token::Kind::Number, sql.substr(i, j - i), start});
            i = j;
        } else if (c == '(' || c == ')' || c == ',' || c == '.' || c == ';') {
            tokens.push_back({Token::Kind::Symbol, std::string(1, sql[i]), start});
            ++i;
        } else {
            syntaxError(start, std::string("unexpected character '") + sql[i] + "'");
        }
    }
    tokens.push_back({Token::Kind::End, "", sql.size() + 1});
    return tokens;
}

class Parser {
  public:
    explicit Parser(const std::string& sql) : tokens_(tokenize(sql)) {}

    AlterTableStatement statement() {
        AlterTableStatement st;
        keyword("ALTER");
        keyword("TABLE");
        st.table = identifier("a table name");
        if (acceptKeyword("ADD")) {
            st.action = AlterTableStatement::Action::Add;
            acceptKeyword("COLUMN");
            st.column = column(st.table);
            columnType(st);
        } else if (acceptKeyword("DROP")) {
            st.action = AlterTableStatement::Action::Drop;
            acceptKeyword("COLUMN");
            st.column = column(st.table);
        } else {
            syntaxError(peek().position, "expected ADD or DROP");
        }
        accept(";");
        if (peek().kind != Token::Kind::End)
            syntaxError(peek().position, "unexpected text after the statement");
        return st;
    }

  private:
    const Token& peek() const { return tokens_[pos_]; }
    const Token& take() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }

    bool isKeyword(const Token& t, const char* word) const {
        return t.kind == Token::Kind::Word && toUpperAscii(t.text) == word;
    }
    bool acceptKeyword(const char* word) {
        if (!isKeyword(peek(), word)) return false;
        take();
        return true;
    }
    void keyword(const char* word) {
        if (!acceptKeyword(word)) syntaxError(peek().position, std::string("expected ") + word);
    }
    bool accept(const char* symbol) {
        if (peek().kind != Token::Kind::Symbol || peek().text != symbol) return false;
        take();
        return true;
    }
    void expect(const char* symbol) {
        if (!accept(symbol)) syntaxError(peek().position, std::string("expected '") + symbol + "'");
    }
    std::string identifier(const char* what) {
        const Token& t = peek();
        if (t.kind != Token::Kind::Quoted && t.kind != Token::Kind::Word)
            syntaxError(t.position, std::string("expected ") + what);
        if (t.kind == Token::Kind::Quoted && t.text.empty())
            syntaxError(t.position, std::string("empty ") + what);
        return take().text;
    }
    int number() {
        const Token& t = peek();
        if (t.kind != Token::Kind::Number || t.text.size() > 9)
            syntaxError(t.position, "expected a size");
        return std::stoi(take().text);
    }

    // [table "."] name; a qualifier must name the statement's table.
    std::string column(const std::string& table) {
        const std::size_t position = peek().position;
        std::string name = identifier("a column name");
        if (accept(".")) {
            if (!sameName(name, table) && !sameName(stemOf(name), stemOf(table)))
                syntaxError(position,
                            "the column is qualified by " + name + ", not by the table " + table);
            name = identifier("a column name");
        }
        return name;
    }

    void sizeInParentheses(AlterTableStatement& st) {
        expect("(");
        st.size = number();
        expect(")");
    }

    void columnType(AlterTableStatement& st) {
        const Token& t = peek();
        if (t.kind != Token::Kind::Word) syntaxError(t.position, "expected a column type");
        const std::string word = toUpperAscii(take().text);
        if (word == "CHARACTER" || word == "CHAR" || word == "VARCHAR") {
            st.type = TFieldType::ftString;
            sizeInParentheses(st);
            if (st.size < 1)
                syntaxError(t.position, "a character column needs a size of at least 1");
        } else if (word == "SMALLINT") {
            st.type = TFieldType::ftSmallint;
        } else if (word == "INTEGER" || word == "INT") {
            st.type = TFieldType::ftInteger;
        } else if (word == "LARGEINT") {
            st.type = TFieldType::ftLargeint;
        } else if (word == "FLOAT" || word == "DOUBLE") {
            st.type = TFieldType::ftFloat;
        } else if (word == "CURRENCY" || word == "MONEY") {
            st.type = TFieldType::ftCurrency;
        } else if (word == "NUMERIC" || word == "DECIMAL") {
            st.type = TFieldType::ftBCD;
            expect("(");
            number();
            expect(",");
            st.size = number();
            expect(")");
        } else if (word == "BOOLEAN") {
            st.type = TFieldType::ftBoolean;
        } else if (word == "DATE") {
            st.type = TFieldType::ftDate;
        } else if (word == "TIME") {
            st.type = TFieldType::ftTime;
        } else if (word == "TIMESTAMP") {
            st.type = TFieldType::ftDateTime;
        } else if (word == "BLOB") {
            expect("(");
            st.size = number();
            expect(",");
            const std::size_t subtypePosition = peek().position;
            const int subtype = number();
            expect(")");
            static constexpr TFieldType kSubtypes[] = {
                TFieldType::ftMemo, TFieldType::ftBlob, TFieldType::ftFmtMemo,
                TFieldType::ftParadoxOle, TFieldType::ftGraphic};
            if (subtype < 1 || subtype > 5)
                syntaxError(subtypePosition, "BLOB subtype must be 1 to 5");
            st.type = kSubtypes[subtype - 1];
        } else {
            syntaxError(t.position, "unknown column type " + word);
        }
    }

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
};

}  // namespace

AlterTableStatement parseAlterTable(const std::string& sql) { return Parser(sql).statement(); }

}  // namespace kx4
