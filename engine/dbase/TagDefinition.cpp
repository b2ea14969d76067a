#include "engine/dbase/TagDefinition.h"

#include "engine/core/Errors.h"
#include "engine/dbase/KeyExpression.h"

namespace kx4::dbase {

namespace {

std::string upper(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// The toolkit's own words for a field list naming a field the table lacks.
const DbfField& findField(const std::vector<DbfField>& fields, const std::string& name) {
    for (const auto& f : fields)
        if (sameName(f.name, name)) return f;
    throwNoSuchField(name);
}

// One field as part of a character key.
std::string characterTerm(const DbfField& f) {
    switch (f.type) {
        case 'C':
            return f.name;
        case 'D':
            return "DTOS(" + f.name + ")";
        case 'N':
        case 'F':
            return "STR(" + f.name + "," + std::to_string(f.length) + "," +
                   std::to_string(f.decimals) + ")";
        case 'I':
        case '+':
            return "STR(" + f.name + ",11)";
        case 'O':
            return "STR(" + f.name + ",20,4)";
        default:
            throwEngineError(DBIERR_NOTSUPPORTED, "Field " + f.name + " of type " +
                                                      std::string(1, f.type) +
                                                      " cannot be part of a dBase index");
    }
}

std::string expressionFor(const IndexDef& index, const std::vector<DbfField>& fields) {
    const bool caseless = index.options.has(IndexOption::ixCaseInsensitive);
    if (!index.expression.empty()) return index.expression;
    const auto names = splitFieldList(index.fields);
    if (names.empty())
        throwEngineError(DBIERR_INVALIDPARAM, "Index " + index.name + " names no field");
    if (names.size() == 1) {
        const DbfField& f = findField(fields, names[0]);
        characterTerm(f);  // refuses logical and memo fields
        return caseless && f.type == 'C' ? "UPPER(" + f.name + ")" : f.name;
    }
    std::string expr;
    for (const auto& name : names) {
        if (!expr.empty()) expr += "+";
        expr += characterTerm(findField(fields, name));
    }
    return caseless ? "UPPER(" + expr + ")" : expr;
}

bool isCaseless(const std::string& expression) { return upper(expression).rfind("UPPER(", 0) == 0; }

IndexDef makeDef(const std::string& name, const std::string& expression, bool unique,
                 bool descending, const std::vector<DbfField>& fields) {
    IndexDef def;
    def.name = name;
    def.tagName = name;
    // A tag over exactly one field is a field index; anything else an expression index.
    for (const auto& f : fields)
        if (sameName(f.name, expression)) def.fields = f.name;
    if (def.fields.empty()) {
        def.expression = expression;
        def.options.add(IndexOption::ixExpression);
        if (isCaseless(expression)) def.options.add(IndexOption::ixCaseInsensitive);
    }
    if (unique) def.options.add(IndexOption::ixUnique);
    if (descending) def.options.add(IndexOption::ixDescending);
    return def;
}

}  // namespace

MdxTagSpec tagSpecFor(const IndexDef& index, const std::vector<DbfField>& fields, DbfLevel level,
                      const std::string& tableFile) {
    if (index.options.has(IndexOption::ixPrimary))
        throwEngineError(DBIERR_NOTSUPPORTED, "dBase tables have no primary index (table " +
                                                  tableFile + "); define a unique index instead");
    if (index.options.has(IndexOption::ixNonMaintained))
        throwEngineError(
            DBIERR_NOTSUPPORTED,
            "dBase production index tags are always maintained (table " + tableFile + ")");
    // A name the index cannot hold as given is refused, never changed; the messages show it as
    // it was given.
    const std::string& given = index.name.empty() ? index.tagName : index.name;
    const std::string name = upper(given);
    if (name.empty())
        throwEngineError(DBIERR_NAMEREQUIRED,
                         "A dBase index needs a tag name (table " + tableFile + ")");
    for (char c : name)
        if (c == ' ' || static_cast<unsigned char>(c) < 0x21 ||
            static_cast<unsigned char>(c) > 0x7E)
            throwEngineError(DBIERR_INVALIDPARAM, "Tag name " + given +
                                                      " cannot be stored: it may only contain "
                                                      "printable ASCII characters (table " +
                                                      tableFile + ")");
    if (name.size() > kMaxTagNameLength)
        throwEngineError(DBIERR_INVALIDPARAM, "Tag name " + given +
                                                  " cannot be stored: it is longer than 10 "
                                                  "characters (table " +
                                                  tableFile + ")");

    MdxTagSpec tagLayout;
    tagLayout.name = name;
    tagLayout.expression = expressionFor(index, fields);
    if (tagLayout.expression.size() > 219)
        throwEngineError(DBIERR_INVALIDPARAM,
                         "Index expression of " + name + " is longer than 220 characters");
    const KeyExpression expr(tagLayout.expression, fields, level);
    tagLayout.keyType = expr.type();
    tagLayout.keyLength = expr.keyLength();
    tagLayout.unique = index.options.has(IndexOption::ixUnique);
    tagLayout.descending = index.options.has(IndexOption::ixDescending);
    return tagLayout;
}

IndexDef indexDefOf(const MdxTag& tag, const std::vector<DbfField>& fields) {
    return makeDef(tag.name, tag.expression, tag.unique, tag.descending, fields);
}

IndexDef indexDefOf(const MdxTagSpec& tag, const std::vector<DbfField>& fields) {
    return makeDef(tag.name, tag.expression, tag.unique, tag.descending, fields);
}

}  // namespace kx4::dbase
