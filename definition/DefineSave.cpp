// Saving the definition (a new table, or in field mode one new field) and dropping a field.
#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "definition/DefineForm.h"
#include "definition/FieldLetters.h"
#include "definition/FieldStatements.h"
#include "definition/RowLists.h"
#include "engine/Dbi.h"
#include "engine/Table.h"
#include "engine/core/FileSystem.h"
#include "texts/TextCatalogue.h"
#include "ui/AliasPath.h"
#include "ui/Prompts.h"
#include "ui/TableNames.h"
#include "ui/TablePasswords.h"
#include "ui/TableTypeOfName.h"
#include "ui/WartePanel.h"

namespace kx4 {

namespace {

// Catalogue entries of the save's messages.
constexpr int kTextTableExists = 65129;   // "Die Tabelle existiert bereits!"
constexpr int kTextOverwrite = 65130;     // "Wollen Sie die Tabelle überschreiben?"
constexpr int kTextDataLost = 65131;      // "(Alle Daten der Tabelle gehen dabei verloren!)"
constexpr int kTextAliasMissing = 65154;  // "ALIAS muss angegeben werden!"
constexpr int kTextTableMissing = 65155;  // "Tabelle muss angegeben werden!"
constexpr int kTextFieldMissing = 65156;  // "Feld muss angegeben werden!"
constexpr int kTextInvalidType = 65157;   // "Ungültiger Typ angegeben: "
constexpr int kTextDone = 65166;          // "Fertig!"

QString invalidTypeMessage(const QString& type) {
    return CatalogueText(kTextInvalidType) + u'"' + type + u'"';
}

FieldLetter letterOf(const QString& type) {
    if (std::optional<FieldLetter> letter = findFieldLetter(type)) return *letter;
    throw std::invalid_argument(invalidTypeMessage(type).toStdString());
}

void showDone() { MessageDlg(CatalogueText(kTextDone), TMsgDlgType::mtInformation, mbOK); }

// What the engine left unchanged beside the new structure (validity checks, say).
void showNotes(const std::vector<std::string>& notes) {
    for (const auto& note : notes)
        MessageDlg(QString::fromStdString(note), TMsgDlgType::mtInformation, mbOK);
}

// The directory of the database an alias names, ending with a path separator, as the file
// system's bytes.
std::string workingDirectory(TSession& session, const QString& alias) {
    hDBIDb database = nullptr;
    Check(DbiOpenDatabase(AnsiToOem(alias).c_str(), nullptr, dbiREADWRITE, dbiOPENSHARED, nullptr,
                          0, nullptr, nullptr, &database, session));
    std::array<char, DBIMAXPATHLEN + 1> directory{};
    const DBIResult result = DbiGetDirectory(database, false, directory.data());
    DbiCloseDatabase(&database);
    Check(result);
    return directory.data();
}

// A file named `file` but for the case of its letters: on the platform the tables come from,
// both names are the same table.
bool existsInAnyCase(const std::filesystem::path& file) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_regular_file(file, error)) return true;
    const std::string wanted = toUpperAscii(file.filename().string());
    for (fs::directory_iterator it(file.parent_path(), error), end; !error && it != end;
         it.increment(error))
        if (toUpperAscii(it->path().filename().string()) == wanted && it->is_regular_file(error))
            return true;
    return false;
}

// The table exists under the name as typed, or under the file the engine would create for it:
// a name without extension gets the default extension of its table type there. Paths are
// tested as bytes, so that a directory named in an old code page is looked at, not another.
bool tableExists(const std::string& directory, const QString& tableName, const TTable& table) {
    return existsInAnyCase(directory + AnsiToOem(tableName)) ||
           existsInAnyCase(table.Path().full());
}

bool overwriteConfirmed() {
    const QString question = CatalogueText(kTextTableExists) + u'\r' +
                             CatalogueText(kTextOverwrite) + u'\r' + CatalogueText(kTextDataLost);
    return MessageDlg(question, TMsgDlgType::mtConfirmation, mbYes | mbNo) == mrYes;
}

}  // namespace

void TDefineForm::SaveBtnClick() {
    std::optional<QString> refusal;
    if (AliasBox->currentText().isEmpty()) {
        refusal = CatalogueText(kTextAliasMissing);
    } else if (TabellenBox->currentText().isEmpty()) {
        refusal = CatalogueText(kTextTableMissing);
    } else if (!staysInsideAlias(TabellenBox->currentText())) {
        refuseTableName(TabellenBox->currentText());
        return;
    } else if (FelderListe->count() == 0 || listEntry(*FelderListe, 0).isEmpty()) {
        refusal = CatalogueText(kTextFieldMissing);
    } else {
        for (int i = 0; i < TypListe->count() && !refusal; ++i) {
            const QString type = listEntry(*TypListe, i);
            if (!findFieldLetter(type)) refusal = invalidTypeMessage(type);
        }
    }
    if (refusal) {
        MessageDlg(*refusal, TMsgDlgType::mtError, mbOK);
        return;
    }
    if (DefineMode == kFieldMode) {
        DefineFeld();
    } else {
        DefineTabelle();
    }
}

void TDefineForm::DefineTabelle() {
    const QString alias = AliasBox->currentText();
    const QString tableName = TabellenBox->currentText();
    auto table = std::make_unique<TTable>(session_);
    table->DatabaseName = AnsiToOem(alias);
    table->TableName = AnsiToOem(tableName);
    table->TableType = TableTypeOfName(tableName);

    const std::string directory = workingDirectory(session_, alias);
    if (tableExists(directory, tableName, *table) && !overwriteConfirmed()) return;

    // Every row is read and its size converted before anything is created.
    table->FieldDefs.Clear();
    for (int i = 0; i < FelderListe->count(); ++i) {
        const DefinitionRow row = readDefinitionRow(*FelderListe, *TypListe, *SizeListe, i);
        const FieldLetter letter = letterOf(row.type);
        table->FieldDefs.Add(AnsiToOem(row.name), letter.type, letter.sizeFromRow ? row.size : 0,
                             false);
    }
    table->CreateTable();
    // Read the new table's field definitions back from the engine.
    table->Open();
    table->Close();
    table.reset();
    showDone();
}

// The ALTER TABLE of a field, with the wait panel over this window once it takes a while.
void TDefineForm::execWithProgress() {
    TWartePanel panel(this);
    const WartePanelScope progress(panel, restructureSubtitle(), kShowPanelAfter);
    Query1.ExecSQL();
}

void TDefineForm::DefineFeld() {
    {
        const TablePasswords passwords(session_);
        Query1.SQL.clear();
        Query1.DatabaseName = AnsiToOem(AliasBox->currentText());
        // Every row is read and converted; the last one is the field to add.
        QString statement;
        for (int i = 0; i < FelderListe->count(); ++i) {
            const DefinitionRow row = readDefinitionRow(*FelderListe, *TypListe, *SizeListe, i);
            const FieldLetter letter = letterOf(row.type);
            statement = addFieldStatement(TabellenBox->currentText(), row.name,
                                          columnTypeFor(letter, row.size));
        }
        Query1.SQL = {AnsiToOem(statement)};
        execWithProgress();
        showNotes(Query1.Notes);
    }
    showDone();
}

void TDefineForm::DelBtnClick() {
    if (selectedRow(*FelderListe) < 0) return;
    if (!staysInsideAlias(TabellenBox->currentText())) {
        refuseTableName(TabellenBox->currentText());
        return;
    }
    DeleteFeld();
}

void TDefineForm::DeleteFeld() {
    try {
        Query1.SQL.clear();
        Query1.DatabaseName = AnsiToOem(AliasBox->currentText());
        const int row = selectedRow(*FelderListe);
        const DefinitionRow field = readDefinitionRow(*FelderListe, *TypListe, *SizeListe, row);
        Query1.SQL = {AnsiToOem(dropFieldStatement(TabellenBox->currentText(), field.name))};
        execWithProgress();
        showNotes(Query1.Notes);
    } catch (...) {
        // The rows show the table as it is, also after a failed drop.
        TabellenBoxChange();
        throw;
    }
    TabellenBoxChange();
    showDone();
}

}  // namespace kx4
