#include "definition/FieldStatements.h"

namespace kx4 {

namespace {

// "T"."F": the field qualified by its table.
QString qualifiedField(const QString& table, const QString& field) {
    return quotedIdentifier(table) + u'.' + quotedIdentifier(field);
}

}  // namespace

QString quotedIdentifier(const QString& name) {
    QString doubled = name;
    doubled.replace(u'"', QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

QString addFieldStatement(const QString& table, const QString& field, const QString& columnType) {
    return QStringLiteral("ALTER TABLE %1 ADD %2 %3")
        .arg(quotedIdentifier(table), qualifiedField(table, field), columnType);
}

QString dropFieldStatement(const QString& table, const QString& field) {
    return QStringLiteral("ALTER TABLE %1 DROP %2")
        .arg(quotedIdentifier(table), qualifiedField(table, field));
}

}  // namespace kx4
