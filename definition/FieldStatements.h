#pragma once
// The two local-SQL statements of the definition window. Names are quoted identifiers in which
// a double quote is doubled, so no table or field name can end the identifier early and change
// the statement.
#include <QString>

namespace kx4 {

// "NAME" with every '"' of the name doubled.
QString quotedIdentifier(const QString& name);

// ALTER TABLE "T" ADD "T"."F" <columnType>
QString addFieldStatement(const QString& table, const QString& field, const QString& columnType);

// ALTER TABLE "T" DROP "T"."F"
QString dropFieldStatement(const QString& table, const QString& field);

}  // namespace kx4
