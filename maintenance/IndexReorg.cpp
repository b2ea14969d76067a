// "Reorg Idxs": writes the index definitions of the chosen table to its definition file, drops
// every index and creates them again - or, when the table has lost all its indexes, takes the
// definitions from the file an earlier run wrote.
#include <optional>

#include "engine/Dbi.h"
#include "engine/core/ScopeExit.h"
#include "maintenance/IndexDefinitionFile.h"
#include "maintenance/IndexDefinitions.h"
#include "maintenance/MaintenanceOperations.h"
#include "maintenance/MaintenanceSupport.h"
#include "texts/TextCatalogue.h"
#include "ui/ExclusiveOpen.h"
#include "ui/Prompts.h"
#include "ui/TablePasswords.h"
#include "ui/WartePanel.h"

namespace kx4 {

namespace {

const QString kRebuildSubtitle = QStringLiteral("(Indizes werden neu angelegt)");

// The fields of the index the table is open on (its primary key), in field order, ";"-joined.
QString keyFieldList(const TTable& table) {
    QStringList names;
    for (int i = 0; i < table.FieldCount(); ++i)
        if (table.Fields(i).IsIndexField()) names << fromEngine(table.Fields(i).FieldName());
    return names.join(u';');
}

void deleteIndexThroughCursor(TTable& table, const char* name, const char* tagName) {
    Check(DbiDeleteIndex(databaseOf(table), table.Handle(), nullptr, nullptr, name, tagName, 0));
}

// Drops every index of the table held exclusively: the secondary ones by name, then the index
// the table is open on through its cursor. An index that cannot be dropped is noted in
// `problems` and the others are still dropped.
void dropIndexes(TTable& table, int indexCount, QStringList& problems) {
    int kept = 1;  // the first index (the primary one) goes last
    for (int round = 0; round < indexCount && table.IndexDefs().Count() > kept; ++round) {
        const std::string name = table.IndexDefs()[kept].name;
        try {
            if (name.empty()) throw EDatabaseError("Index ohne Namen");
            deleteIndexThroughCursor(table, name.c_str(), nullptr);
        } catch (const EDatabaseError& error) {
            problems << QStringLiteral("Index \"%1\" konnte nicht gelöscht werden: %2")
                            .arg(fromEngine(name), QString::fromUtf8(error.what()));
            ++kept;
        }
        table.IndexDefs().Update();
    }
    try {
        IDXDesc current;
        Check(DbiGetIndexDesc(table.Handle(), 0, &current));
        table.IndexName.clear();
        table.IndexFieldNames.clear();
        deleteIndexThroughCursor(table, current.szName, current.szTagName);
    } catch (const EDatabaseError& error) {
        problems << QStringLiteral("Der Primärindex konnte nicht gelöscht werden: %1")
                        .arg(QString::fromUtf8(error.what()));
    }
}

// Creates the indexes of the list on the closed table, each even when one before it failed;
// every index that could not be created is noted in `problems`.
void createIndexes(TTable& table, const QStringList& definitions, QStringList& problems) {
    for (const IndexToCreate& index : indexesToCreate(definitions, QDateTime::currentDateTime())) {
        try {
            table.AddIndex(toEngine(index.name), toEngine(index.fields), index.options);
        } catch (const EDatabaseError& error) {
            const QString which =
                index.name.isEmpty()
                    ? QStringLiteral("Primärindex (%1)").arg(index.fields)
                    : QStringLiteral("Index \"%1\" (%2)").arg(index.name, index.fields);
            problems << which + QStringLiteral(" konnte nicht angelegt werden: ") +
                            QString::fromUtf8(error.what());
        }
    }
}

// Collects, saves or loads the definitions and rebuilds the indexes of the table that is open
// exclusively; the table is closed afterwards. The user may stop it only until the first index
// is dropped: after that a stop would leave the table with some of its indexes missing.
void rebuildIndexes(TTable& table, const QString& tableName, const QString& filePath,
                    WartePanelScope& progress) {
    table.IndexDefs().Update();
    const int indexCount = table.IndexDefs().Count();
    QStringList definitions = {QString()};
    if (indexCount > 0) {
        const QString keyFields = keyFieldList(table);
        if (keyFields.isEmpty())
            throw EDatabaseError(QStringLiteral("Die Tabelle %1 hat Indizes, aber keine "
                                                "Schlüsselfelder; ihre Indizes können nicht "
                                                "reorganisiert werden")
                                     .arg(tableName)
                                     .toStdString());
        definitions = collectIndexDefinitions(table.IndexDefs().items(), keyFields);
    }

    if (!definitions.first().isEmpty()) {
        writeIndexDefinitionFile(filePath, definitions, table.session().fileSystem());
    } else {
        definitions = readIndexDefinitionFile(filePath, table.session().fileSystem());
    }

    const bool rebuild = !definitions.isEmpty() && !definitions.first().isEmpty();
    QStringList problems;
    // A damaged index whose fields are unknown is dropped with the others but cannot come back.
    for (const IndexDef& index : table.IndexDefs().items())
        if (rebuild && !index.fault.empty() && index.fields.empty())
            problems << QStringLiteral(
                            "Index \"%1\" konnte nicht neu angelegt werden, seine "
                            "Felder sind unbekannt (%2)")
                            .arg(fromEngine(index.name), QString::fromStdString(index.fault));
    if (rebuild) progress.noLongerStoppable();
    if (rebuild && indexCount > 0) dropIndexes(table, indexCount, problems);
    table.Close();
    if (rebuild) createIndexes(table, definitions, problems);
    if (!problems.isEmpty())
        throw EDatabaseError(QStringLiteral("Die Indizes der Tabelle %1 wurden nicht vollständig "
                                            "neu angelegt (alle Definitionen stehen in %2). %3")
                                 .arg(tableName, filePath, problems.join(QStringLiteral("; ")))
                                 .toStdString());
}

}  // namespace

void runIndexReorg(const OperationContext& context) {
    const QString tableName = context.selection.table;
    if (!tableName.contains(u'.')) return;
    QString typedName = tableName;
    context.session.DropConnections();

    std::optional<WartePanelScope> waiting;  // hidden again after everything else
    const TablePasswords passwords(context.session);
    TTable table(context.session);
    prepareTable(table, context.selection.alias, tableName);

    if (!InputQuery(CatalogueText(65127), CatalogueText(65128), typedName)) return;

    const ScopeExit cleanUp([&] {
        table.Close();
        table.Exclusive = false;
        table.Open();
        context.showIndexes(table);
    });
    OpenExclusiveWithRetry(table, TabelleExclusiveRetryQuestion(typedName));
    waiting.emplace(context.panel, kRebuildSubtitle);
    rebuildIndexes(
        table, tableName,
        indexDefinitionFilePath(GetAliasPath(context.selection.alias, context.session), tableName),
        *waiting);
}

}  // namespace kx4
