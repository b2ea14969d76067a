// "Compress": packs the chosen table, giving back the space of its deleted records - a Paradox
// table by a restructure with the pack flag, a dBase table by the engine's pack call.
#include <cstring>
#include <optional>

#include "engine/Dbi.h"
#include "engine/core/ScopeExit.h"
#include "maintenance/MaintenanceOperations.h"
#include "maintenance/MaintenanceSupport.h"
#include "texts/TextCatalogue.h"
#include "ui/ExclusiveOpen.h"
#include "ui/Prompts.h"
#include "ui/WartePanel.h"

namespace kx4 {

namespace {

const QString kPackSubtitle = QStringLiteral("(Tabelle wird komprimiert)");

// CURProps.iSeqNums: how the table numbers its records.
constexpr int kRecordNumbers = 0;    // dBase
constexpr int kSequenceNumbers = 1;  // Paradox

// The directory of the open table's database as the engine reports it, ending with a separator.
std::string databaseDirectory(TTable& table) {
    char directory[DBIMAXPATHLEN + 1] = {};
    Check(DbiGetDirectory(databaseOf(table), false, directory));
    return directory;
}

// Packs the Paradox table at `tablePath` (closed) by restructuring it onto itself.
void packParadoxTable(TSession& session, TWartePanel& panel, const std::string& tablePath,
                      std::optional<WartePanelScope>& waiting) {
    CRTblDesc desc;
    if (tablePath.size() >= sizeof desc.szTblName)
        throw EDBEngineError(DBIERR_INVALIDPARAM,
                             "Der Pfad der Tabelle ist mit " + std::to_string(tablePath.size()) +
                                 " Zeichen zu lang zum Komprimieren (höchstens " +
                                 std::to_string(DBIMAXTBLNAMELEN) + "): " + tablePath);
    std::memcpy(desc.szTblName, tablePath.data(), tablePath.size());
    desc.bPack = true;

    // The engine's standard database, which addresses tables by their full path.
    hDBIDb database = nullptr;
    Check(DbiOpenDatabase(nullptr, nullptr, dbiREADWRITE, dbiOPENSHARED, nullptr, 0, nullptr,
                          nullptr, &database, session));
    const ScopeExit closeDatabase([&] { DbiCloseDatabase(&database); });
    waiting.emplace(panel, kPackSubtitle);
    Check(DbiDoRestructure(database, 1, &desc, nullptr, nullptr, nullptr, false));
}

// Opens the table exclusively and packs it by its kind; true when it was packed.
bool compressTable(const OperationContext& context, const QString& tableName) {
    QString typedName = tableName;
    std::optional<WartePanelScope> waiting;  // hidden again after everything else
    TTable table(context.session);
    // No table passwords: a protected table asks the user for its password.
    prepareTable(table, context.selection.alias, tableName, /*typeByRule=*/false);

    if (!InputQuery(CatalogueText(65127), CatalogueText(65128), typedName)) return false;

    bool packed = false;
    const ScopeExit cleanUp([&] {
        table.Close();
        table.Exclusive = false;
        table.Open();
    });
    OpenExclusiveWithRetry(table, TabelleExclusiveRetryQuestion(typedName));
    if (!table.Active()) table.Open();
    const std::string directory = databaseDirectory(table);
    CURProps props;
    Check(DbiGetCursorProps(table.Handle(), &props));
    if (props.iSeqNums == kRecordNumbers) {
        const WartePanelScope progress(context.panel, kPackSubtitle, kShowPanelAfter);
        Check(DbiPackTable(databaseOf(table), table.Handle(), nullptr, szDBASE, true));
        packed = true;
    } else if (props.iSeqNums == kSequenceNumbers) {
        table.Close();
        packParadoxTable(context.session, context.panel, directory + toEngine(tableName), waiting);
        packed = true;
    }
    return packed;
}

}  // namespace

void runCompress(const OperationContext& context) {
    const QString tableName = context.selection.table;
    if (!tableName.contains(u'.')) return;
    if (compressTable(context, tableName))
        MessageDlg(CatalogueText(65133), TMsgDlgType::mtInformation, mbOK);
}

}  // namespace kx4
