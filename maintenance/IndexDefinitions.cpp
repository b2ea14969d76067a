#include "maintenance/IndexDefinitions.h"

#include <QSet>

namespace kx4 {

namespace {

constexpr qsizetype kMaxJoinedFieldsLength = 24;

QString dateTimeIndexName(int position, const QDateTime& now) {
    return u'_' + now.toString(QStringLiteral("ddMMyyyyHHmmss")) + QString::number(position);
}

}  // namespace

QStringList collectIndexDefinitions(const std::vector<IndexDef>& indexes,
                                    const QString& keyFields) {
    QStringList list;
    for (const IndexDef& index : indexes) {
        const QString fields = QString::fromStdString(index.fields);
        if (!fields.isEmpty() && fields != keyFields) list << fields;
    }
    if (!keyFields.isEmpty()) list.prepend(keyFields + kKeyEntryMark);
    return list;
}

QString generatedIndexName(const QString& entry, int position, const QDateTime& now) {
    QString joined = entry;
    joined.replace(u';', u'&');
    if (joined.length() > kMaxJoinedFieldsLength) return dateTimeIndexName(position, now);
    return u'_' + joined;
}

std::vector<IndexToCreate> indexesToCreate(const QStringList& definitions, const QDateTime& now) {
    std::vector<IndexToCreate> result;
    QSet<QString> givenNames;  // upper-cased: the engines compare index names ignoring case
    for (int position = 0; position < definitions.size(); ++position) {
        const QString& entry = definitions[position];
        if (entry.isEmpty()) continue;
        if (entry.endsWith(kKeyEntryMark)) {
            result.push_back({QString(), entry.chopped(1), IndexOption::ixPrimary});
            continue;
        }
        QString name = generatedIndexName(entry, position, now);
        if (givenNames.contains(name.toUpper())) name = dateTimeIndexName(position, now);
        givenNames.insert(name.toUpper());
        result.push_back({name, entry, IndexOption::ixCaseInsensitive});
    }
    return result;
}

}  // namespace kx4
