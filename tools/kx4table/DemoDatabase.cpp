// The demo database: a few tables of a small trading business in each of the three formats.
#include "tools/kx4table/DemoDatabase.h"

#include "engine/TableMaintenance.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/paradox/Encryption.h"
#include "engine/paradox/ParadoxProperties.h"

namespace kx4 {

namespace {

FieldDef field(TableFormat& format, const std::string& name, TFieldType type, int size = 0) {
    return fieldForCreate(format, name, type, size, false);
}

FieldValue text(const char* s) { return std::string(s); }
FieldValue number(std::int64_t v) { return v; }
FieldValue date(int y, int m, int d) { return dateFromYmd(y, m, d); }

void writeCustomers(FileSystem& fs, const std::string& dir) {
    TableFormat& format = formatFor(TTableType::ttParadox, "KUNDEN.DB");
    TableSchema schema;
    schema.fields = {field(format, "KUNDENNR", TFieldType::ftInteger),
                     field(format, "NAME", TFieldType::ftString, 30),
                     field(format, "VORNAME", TFieldType::ftString, 20),
                     field(format, "ORT", TFieldType::ftString, 25),
                     field(format, "UMSATZ", TFieldType::ftCurrency),
                     field(format, "KUNDESEIT", TFieldType::ftDate),
                     field(format, "AKTIV", TFieldType::ftBoolean),
                     field(format, "BEMERKUNG", TFieldType::ftMemo, 40)};
    schema.indexes = {indexOn("", "KUNDENNR", IndexOption::ixPrimary)};
    const std::vector<Record> records = {
        {number(1001), text("Müller"), text("Jürgen"), text("Köln"), 15230.5, date(1994, 3, 1),
         true, text("Zahlt pünktlich; bevorzugt Lieferung am Vormittag.")},
        {number(1002), text("Schäfer"), text("Anna"), text("München"), 820.0, date(1997, 11, 17),
         true, Blank{}},
        {number(1003), text("Weiß"), text("Günter"), text("Düsseldorf"), 0.0, date(1989, 6, 30),
         false, text("Konto ruht seit der Geschäftsaufgabe.")},
        {number(1004), text("Özdemir"), text("Selin"), text("Hamburg"), 4410.75, date(2001, 1, 8),
         true, Blank{}},
        {number(1005), text("Groß"), text("Heinz"), text("Nürnberg"), 99.9, date(1999, 12, 31),
         true, Blank{}},
    };
    createTable(format, TablePath{dir, "KUNDEN.DB"}, schema, records, fs);
}

// The host database protects its tables with its table passwords; this one with the first.
void writeAccounts(FileSystem& fs, const std::string& dir) {
    TableFormat& format = formatFor(TTableType::ttParadox, "KONTEN.DB");
    TableSchema schema;
    schema.fields = {field(format, "KONTO", TFieldType::ftString, 10),
                     field(format, "KUNDENNR", TFieldType::ftInteger),
                     field(format, "SALDO", TFieldType::ftCurrency),
                     field(format, "GEBUCHT", TFieldType::ftDateTime)};
    schema.indexes = {indexOn("", "KONTO", IndexOption::ixPrimary)};
    const auto at = [](int y, int m, int d, int h) {
        return FieldValue(
            Timestamp{std::int64_t{dateFromYmd(y, m, d).day} * 86400000 + h * 3600000});
    };
    const std::vector<Record> records = {
        {text("DE-1001-01"), number(1001), 1520.25, at(2024, 6, 28, 9)},
        {text("DE-1002-01"), number(1002), -80.0, at(2024, 7, 1, 14)},
        {text("DE-1004-01"), number(1004), 0.0, Blank{}},
    };
    auto properties = std::make_shared<paradox::ParadoxProperties>();
    properties->encryption = paradox::passwordChecksum("86Gm2yB3E7");
    const TablePath path{dir, "KONTEN.DB"};
    FileTransaction tx(fs, path.full());
    auto builder = format.build(path, schema, properties, tx);
    for (const auto& record : records) builder->append(record);
    builder->finish();
    tx.commit();
}

void writeArticles(FileSystem& fs, const std::string& dir) {
    TableFormat& format = formatFor(TTableType::ttDBase, "ARTIKEL.DBF");
    TableSchema schema;
    schema.fields = {field(format, "ARTNR", TFieldType::ftString, 8),
                     field(format, "BEZEICH", TFieldType::ftString, 30),
                     field(format, "PREIS", TFieldType::ftCurrency),
                     field(format, "LAGER", TFieldType::ftInteger),
                     field(format, "GEAENDERT", TFieldType::ftDate),
                     field(format, "NOTIZ", TFieldType::ftMemo, 10)};
    schema.indexes = {indexOn("ARTNR", "ARTNR", IndexOption::ixUnique),
                      indexOn("BEZEICH", "BEZEICH", IndexOption::ixCaseInsensitive)};
    const std::vector<Record> records = {
        {text("A-1000"), text("Schraube M4 verzinkt"), 0.12, number(12000), date(2003, 5, 2),
         Blank{}},
        {text("A-1001"), text("Mutter M4"), 0.05, number(8000), date(2003, 5, 2), Blank{}},
        {text("B-2000"), text("Dübel 6 mm"), 0.08, number(5400), date(2004, 1, 15),
         text("Nur noch Restposten.")},
        {text("C-3000"), text("Akkuschrauber 18 V"), 129.0, number(14), date(2005, 9, 9), Blank{}},
    };
    createTable(format, TablePath{dir, "ARTIKEL.DBF"}, schema, records, fs);
}

void writePrices(FileSystem& fs, const std::string& dir) {
    TableFormat& format = formatFor(TTableType::ttASCII, "PREISE.TXT");
    TableSchema schema;
    schema.fields = {field(format, "ARTNR", TFieldType::ftString, 8),
                     field(format, "PREIS", TFieldType::ftFloat),
                     field(format, "GUELTIGAB", TFieldType::ftDate)};
    const std::vector<Record> records = {
        {text("A-1000"), 0.12, date(2024, 1, 1)},
        {text("C-3000"), 119.0, date(2024, 3, 1)},
    };
    createTable(format, TablePath{dir, "PREISE.TXT"}, schema, records, fs);
}

}  // namespace

void writeDemoTables(const std::string& dir, FileSystem& fs) {
    fs.createDirectories(dir);
    writeCustomers(fs, dir);
    writeAccounts(fs, dir);
    writeArticles(fs, dir);
    writePrices(fs, dir);
}

}  // namespace kx4
