#include "definition/FieldLetters.h"

#include <array>

namespace kx4 {

namespace {

const std::array<FieldLetter, 7>& fieldLetters() {
    using enum TFieldType;
    static const std::array<FieldLetter, 7> letters = {
        FieldLetter{QStringLiteral("A"), ftString, true, QStringLiteral("CHARACTER")},
        FieldLetter{QStringLiteral("S"), ftSmallint, false, QStringLiteral("SMALLINT")},
        FieldLetter{QStringLiteral("I"), ftInteger, false, QStringLiteral("INTEGER")},
        FieldLetter{QStringLiteral("L"), ftLargeint, false, QStringLiteral("LARGEINT")},
        FieldLetter{QStringLiteral("D"), ftDate, false, QStringLiteral("DATE")},
        FieldLetter{QStringLiteral("$"), ftCurrency, false, QStringLiteral("CURRENCY")},
        // A memo column keeps 100 characters in the table, whatever the row's size says.
        FieldLetter{QStringLiteral("M"), ftMemo, true, QStringLiteral("BLOB(100,1)")},
    };
    return letters;
}

}  // namespace

std::optional<FieldLetter> findFieldLetter(const QString& letter) {
    for (const FieldLetter& candidate : fieldLetters()) {
        if (candidate.letter == letter) return candidate;
    }
    return std::nullopt;
}

QString columnTypeFor(const FieldLetter& letter, int size) {
    if (letter.type == TFieldType::ftString) {
        return QStringLiteral("%1(%2)").arg(letter.columnType).arg(size);
    }
    return letter.columnType;
}

}  // namespace kx4
