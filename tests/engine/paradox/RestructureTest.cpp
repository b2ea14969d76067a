// Restructure and pack of Paradox tables through the engine calls: every value is converted
// exactly or the change is refused naming field and record with every file unchanged; indexes,
// blobs and the password survive.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/Dbi.h"
#include "engine/Session.h"
#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/TextCodec.h"
#include "engine/core/ValueConversion.h"
#include "engine/paradox/Encryption.h"
#include "engine/paradox/FieldCodec.h"
#include "engine/paradox/FieldTypes.h"
#include "engine/paradox/ParadoxProperties.h"
#include "restructure/ParadoxChange.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/engine/paradox/PxlibReader.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

using namespace paradox;

struct TypeCase {
    char letter;
    std::uint8_t type;
    int size;  // characters, bytes, leader or decimals
    FieldValue easy;
    FieldValue hard;
};

Bytes bytes(std::size_t n, int seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>((i * 7 + seed) % 250 + 1);
    return b;
}

// One Paradox type each, with a value most types can take and one few can.
const std::vector<TypeCase>& typeCases() {
    static const std::vector<TypeCase> cases = {
        {'A', pxAlpha, 20, std::string("1"), std::string("Hallo Welt und mehr")},
        {'S', pxShort, 0, std::int64_t{1}, std::int64_t{-32767}},
        {'I', pxLong, 0, std::int64_t{1}, std::int64_t{2147483647}},
        {'L', pxLogical, 0, true, false},
        {'N', pxNumber, 0, 1.0, 0.1},
        {'$', pxMoney, 0, 1.0, 1234567.891},
        {'#', pxBcd, 2, Decimal{"1.00"}, Decimal{"-123456789012345678901234.25"}},
        {'D', pxDate, 0, dateFromYmd(2024, 2, 29), dateFromYmd(9999, 12, 31)},
        {'T', pxTime, 0, Time{3600000}, Time{86399999}},
        {'@', pxTimestamp, 0, Timestamp{std::int64_t{dateFromYmd(2024, 2, 29).day} * 86400000},
         Timestamp{std::int64_t{dateFromYmd(2000, 1, 1).day} * 86400000 + 123}},
        {'Y', pxBytes, 10, Bytes{1}, bytes(10, 3)},
        {'+', pxAutoInc, 0, std::int64_t{1}, std::int64_t{2147483647}},
        {'M', pxMemo, 10, std::string("1"), std::string(3000, 'x')},
        {'B', pxBinary, 10, Blob{{'1'}}, Blob{bytes(5000, 1)}},
        {'F', pxFmtMemo, 10, Blob{{'1'}}, Blob{bytes(300, 2)}},
        {'O', pxOle, 10, pictureBlob(2, {'1'}), pictureBlob(2, bytes(300, 4))},
        {'G', pxGraphic, 10, pictureBlob(1, {'1'}), pictureBlob(1, bytes(5000, 5))},
    };
    return cases;
}

const TypeCase& caseOf(char letter) {
    for (const auto& c : typeCases())
        if (c.letter == letter) return c;
    throw std::runtime_error("no type case");
}

FieldDef fieldOf(const std::string& name, const TypeCase& t) {
    FieldDef f;
    f.name = name;
    f.physicalType = physicalCodeOf(t.type);
    f.size = t.size;
    return f;
}

// Nr (key), Wert (the field changed), Name (secondary index), Notiz (memo).
TableSchema tableWith(const FieldDef& value) {
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger), value, field("Name", TFieldType::ftString, 10),
                field("Notiz", TFieldType::ftMemo, 5)};
    s.indexes = {primaryKey("Nr"),
                 indexOn("_Name", "Name", TIndexOptions(IndexOption::ixCaseInsensitive))};
    return s;
}

std::vector<Record> rowsWith(const std::vector<FieldValue>& values) {
    std::vector<Record> rows;
    for (std::size_t i = 0; i < values.size(); ++i)
        rows.push_back({std::int64_t(i + 1), values[i], std::string(i % 2 ? "berta" : "Anton"),
                        std::string(i % 50 * 40 + 3, static_cast<char>('a' + i % 26))});
    return rows;
}

// The engine sequence of a single-field change: exclusive open, physical descriptors, the one
// field modified, numbered 1..n, restructure after closing.
void changeField(const std::string& path, const std::string& name, const FLDDesc& change) {
    TTable table;
    table.DatabaseName = directoryOf(path);
    table.TableName = fileNameOf(path);
    table.Exclusive = true;
    table.Open();
    const int slot = table.FieldByName(name).Index();
    Check(DbiSetProp(table.Handle(), curXLTMODE, xltNONE));
    const int n = table.FieldCount();
    std::vector<FLDDesc> descs(n);
    std::vector<CROpType> ops(n, crNOOP);
    ops[slot] = crMODIFY;
    Check(DbiGetFieldDescs(table.Handle(), descs.data()));
    FLDDesc& d = descs[slot];
    if (change.szName[0]) std::memcpy(d.szName, change.szName, sizeof d.szName);
    if (change.iFldType) d.iFldType = change.iFldType;
    if (change.iSubType) d.iSubType = change.iSubType;
    if (change.iUnits1) d.iUnits1 = change.iUnits1;
    if (change.iUnits2) d.iUnits2 = change.iUnits2;
    for (int k = 0; k < n; ++k) descs[k].iFldNum = static_cast<std::uint16_t>(k + 1);
    CRTblDesc desc;
    std::strncpy(desc.szTblName, table.TableName.c_str(), DBIMAXTBLNAMELEN);
    std::strncpy(desc.szTblType, szPARADOX, DBIMAXNAMELEN);
    desc.iFldCount = static_cast<std::uint16_t>(n);
    desc.pecrFldOp = ops.data();
    desc.pfldDesc = descs.data();
    Database database(table.session(), table.DatabaseName, directoryOf(path));
    table.Close();
    Check(DbiDoRestructure(&database, 1, &desc, nullptr, nullptr, nullptr, false));
}

FLDDesc typeChange(std::uint16_t code, int units1 = 0, int units2 = 0) {
    FLDDesc d;
    d.iFldType = code;
    d.iUnits1 = static_cast<std::int16_t>(units1);
    d.iUnits2 = static_cast<std::int16_t>(units2);
    return d;
}

// The descriptor change to a type, in physical codes with its sizes.
FLDDesc changeTo(const TypeCase& t) {
    return typeChange(physicalCodeOf(t.type), t.type == pxBcd ? 32 : t.size,
                      t.type == pxBcd ? t.size : 0);
}

std::vector<Record> readTable(const std::string& path) {
    auto table = openParadox(path);
    return readAll(*table);
}

// What a table of `schema` holding `rows` reads back as, or nullopt when it cannot hold them.
std::optional<std::vector<Record>> storedAs(const TableSchema& schema,
                                            const std::vector<Record>& rows) {
    TempDir dir;
    try {
        writeParadox(dir.file("EXPECT.DB"), schema, rows);
    } catch (const EDBEngineError&) {
        return std::nullopt;
    }
    return readTable(dir.file("EXPECT.DB"));
}

struct Pair {
    char from;
    char to;
};

std::vector<Pair> allPairs() {
    std::vector<Pair> pairs;
    for (const auto& a : typeCases())
        for (const auto& b : typeCases())
            if (a.letter != b.letter) pairs.push_back({a.letter, b.letter});
    return pairs;
}

std::string letterName(char c) {
    switch (c) {
        case '#':
            return "Bcd";
        case '$':
            return "Money";
        case '@':
            return "Timestamp";
        case '+':
            return "AutoInc";
        default:
            return std::string(1, c);
    }
}

class TypeChange : public ::testing::TestWithParam<std::tuple<Pair, bool>> {};

// With the values converted exactly the table holds what a new table of the target type
// holds; otherwise the change is refused naming the field and the record, and no file moves.
TEST_P(TypeChange, ConvertsExactlyOrRefusesLeavingEveryFile) {
    const auto [pair, hard] = GetParam();
    const TypeCase& from = caseOf(pair.from);
    const TypeCase& to = caseOf(pair.to);
    TempDir dir;
    const std::string path = dir.file("WANDEL.DB");
    const std::vector<FieldValue> values = {from.easy, Blank{}, hard ? from.hard : from.easy};
    writeParadox(path, tableWith(fieldOf("Wert", from)), rowsWith(values));
    const auto rows = readTable(path);  // as stored: counters assigned, bytes padded
    const std::string before = directorySnapshot(dir.path());

    // The oracle: each value converted on its own, the first that does not fit named.
    const FLDDesc change = changeTo(to);
    FLDDesc named = change;
    std::strncpy(named.szName, "Wert", DBIMAXNAMELEN);
    const FieldDef target = paradoxFormat().fieldFromDescriptor(named);
    std::vector<Record> converted = rows;
    const TextCodec tableText(openParadox(path, false)->info().codePage);
    int firstRefused = 0;
    for (std::size_t i = 0; i < rows.size() && !firstRefused; ++i) {
        std::string reason;
        const auto v = convertValue(rows[i][1], target, reason, tableText);
        if (!v)
            firstRefused = static_cast<int>(i + 1);
        else
            converted[i][1] = *v;
    }
    std::optional<std::vector<Record>> expected;
    if (!firstRefused) expected = storedAs(tableWith(target), converted);

    try {
        changeField(path, "Wert", change);
    } catch (const EDBEngineError& e) {
        EXPECT_FALSE(expected.has_value()) << "refused a change that fits: " << e.what();
        const std::string message = e.what();
        EXPECT_NE(message.find("Wert"), std::string::npos) << message;
        if (firstRefused) {
            EXPECT_NE(message.find("record " + std::to_string(firstRefused)), std::string::npos)
                << message;
        }
        EXPECT_EQ(directorySnapshot(dir.path()), before);
        return;
    }
    ASSERT_TRUE(expected.has_value()) << "accepted a change that loses data";
    auto table = openParadox(path);
    EXPECT_EQ(table->schema().fields[1].physicalType, physicalCodeOf(to.type));
    auto got = readAll(*table);
    if (to.type == pxAutoInc) {  // blanks get numbers of their own
        ASSERT_EQ(got.size(), expected->size());
        got[1][1] = (*expected)[1][1] = Blank{};
    }
    EXPECT_EQ(got, *expected);
    ASSERT_EQ(table->schema().indexes.size(), 2u);
    EXPECT_EQ(table->schema().indexes[1].name, "_Name");
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
}

INSTANTIATE_TEST_SUITE_P(Paradox, TypeChange,
                         ::testing::Combine(::testing::ValuesIn(allPairs()), ::testing::Bool()),
                         [](const auto& info) {
                             const Pair p = std::get<0>(info.param);
                             return letterName(p.from) + "_to_" + letterName(p.to) +
                                    (std::get<1>(info.param) ? "_hard" : "_easy");
                         });

struct ShapeChange {
    const char* label;
    FLDDesc change;
    const char* field;
    int refusedRecord;  // 0: the change fits
};

FLDDesc renamed(const char* name) {
    FLDDesc d;
    std::strncpy(d.szName, name, DBIMAXNAMELEN);
    return d;
}

class FieldChange : public ::testing::TestWithParam<ShapeChange> {};

TEST_P(FieldChange, KeepsRecordsBlobsIndexesOrLeavesEveryFile) {
    TempDir dir;
    const std::string path = dir.file("KUNDEN.DB");
    TableSchema s = tableWith(fieldOf("Wert", caseOf('#')));
    s.fields[2].size = 20;
    std::vector<Record> rows = rowsWith({Decimal{"1.50"}, Decimal{"-2.25"}, Blank{}});
    rows[0][2] = std::string("Anton Meyer");
    writeParadox(path, s, rows);
    const std::string before = directorySnapshot(dir.path());
    try {
        changeField(path, GetParam().field, GetParam().change);
    } catch (const EDBEngineError& e) {
        ASSERT_NE(GetParam().refusedRecord, 0) << e.what();
        EXPECT_NE(std::string(e.what()).find(GetParam().field), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("record " + std::to_string(GetParam().refusedRecord)),
                  std::string::npos)
            << e.what();
        EXPECT_EQ(directorySnapshot(dir.path()), before);
        return;
    }
    ASSERT_EQ(GetParam().refusedRecord, 0) << "accepted a change that loses data";
    auto table = openParadox(path);
    const auto got = readAll(*table);
    ASSERT_EQ(got.size(), rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(canonical(got[r][0]), canonical(rows[r][0]));
        EXPECT_EQ(got[r][3], rows[r][3]) << "memo of record " << r + 1;
        EXPECT_EQ(canonical(got[r][1]), canonical(rows[r][1]));
        EXPECT_EQ(got[r][2], rows[r][2]);
    }
    ASSERT_EQ(table->schema().indexes.size(), 2u);
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Paradox, FieldChange,
    ::testing::Values(ShapeChange{"widen_text", typeChange(0, 40), "Name", 0},
                      ShapeChange{"shrink_text_that_fits", typeChange(0, 11), "Name", 0},
                      ShapeChange{"shrink_text_that_would_be_cut", typeChange(0, 5), "Name", 1},
                      ShapeChange{"more_decimals", typeChange(0, 32, 4), "Wert", 0},
                      ShapeChange{"fewer_decimals_than_a_value_has", typeChange(0, 32, 1), "Wert",
                                  2},
                      ShapeChange{"rename", renamed("Betrag"), "Wert", 0},
                      ShapeChange{"rename_indexed_field", renamed("Kunde"), "Name", 0},
                      ShapeChange{"rename_key_field", renamed("Kundennr"), "Nr", 0},
                      ShapeChange{"key_field_to_number", typeChange(fldPDXNUM), "Nr", 0},
                      ShapeChange{"key_field_to_logical", typeChange(fldPDXBOOL), "Nr", 2}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FieldChange, KeyOrIndexedFieldCannotBecomeABlob) {
    for (const char* name : {"Nr", "Name"}) {
        TempDir dir;
        const std::string path = dir.file("A.DB");
        writeParadox(path, tableWith(fieldOf("Wert", caseOf('S'))), rowsWith({Blank{}}));
        const std::string before = directorySnapshot(dir.path());
        try {
            changeField(path, name, typeChange(fldPDXMEMO, 10));
            ADD_FAILURE() << name << " became a memo";
        } catch (const EDBEngineError& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
        EXPECT_EQ(directorySnapshot(dir.path()), before);
    }
}

TEST(TypeCodes, LogicalAndPhysicalCodesGiveTheSameField) {
    struct Codes {
        std::uint16_t logical, subType, physical;
    };
    const Codes codes[] = {{fldINT16, 0, fldPDXSHORT},
                           {fldINT32, 0, fldPDXLONG},
                           {fldFLOAT, 0, fldPDXNUM},
                           {fldFLOAT, fldstMONEY, fldPDXMONEY},
                           {fldDATE, 0, fldPDXDATE},
                           {fldTIME, 0, fldPDXTIME},
                           {fldTIMESTAMP, 0, fldPDXDATETIME},
                           {fldBOOL, 0, fldPDXBOOL},
                           {fldBLOB, fldstMEMO, fldPDXMEMO},
                           {fldBLOB, fldstGRAPHIC, fldPDXGRAPHIC},
                           {fldINT32, fldstAUTOINC, fldPDXAUTOINC},
                           {fldZSTRING, 0, fldPDXCHAR}};
    for (const auto& c : codes) {
        TempDir dir;
        const std::string a = dir.file("A.DB"), b = dir.file("B.DB");
        writeParadox(a, tableWith(fieldOf("Wert", caseOf('S'))), rowsWith({Blank{}}));
        writeParadox(b, tableWith(fieldOf("Wert", caseOf('S'))), rowsWith({Blank{}}));
        FLDDesc logical = typeChange(c.logical, 10);
        logical.iSubType = c.subType;
        changeField(a, "Wert", logical);
        changeField(b, "Wert", typeChange(c.physical, 10));
        EXPECT_EQ(openParadox(a)->schema().fields[1], openParadox(b)->schema().fields[1])
            << "code " << c.logical;
    }
}

TEST(TypeCodes, ATypeParadoxCannotHoldIsRefusedLeavingEveryFile) {
    for (std::uint16_t code : {fldVARBYTES, fldCURSOR, fldADT, std::uint16_t{999}}) {
        TempDir dir;
        const std::string path = dir.file("A.DB");
        writeParadox(path, tableWith(fieldOf("Wert", caseOf('S'))), rowsWith({std::int64_t{1}}));
        const std::string before = directorySnapshot(dir.path());
        try {
            changeField(path, "Wert", typeChange(code, 10));
            ADD_FAILURE() << "type " << code << " accepted";
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(e.errorCode(), DBIERR_INVALIDFLDTYPE) << e.what();
        }
        EXPECT_EQ(directorySnapshot(dir.path()), before);
    }
}

// The toolbar's field type command, by the names its dialog offers.
TEST(TypeCodes, ChangeFieldByTheDialogsTypeNames) {
    struct Named {
        TFieldType type;
        std::uint8_t stored;  // 0: a type Paradox cannot hold
    };
    const Named names[] = {{TFieldType::ftString, pxAlpha},
                           {TFieldType::ftSmallint, pxShort},
                           {TFieldType::ftInteger, pxLong},
                           {TFieldType::ftWord, pxLong},
                           {TFieldType::ftBoolean, pxLogical},
                           {TFieldType::ftFloat, pxNumber},
                           {TFieldType::ftCurrency, pxMoney},
                           {TFieldType::ftBCD, pxBcd},
                           {TFieldType::ftDate, pxDate},
                           {TFieldType::ftTime, pxTime},
                           {TFieldType::ftDateTime, pxTimestamp},
                           {TFieldType::ftBytes, pxBytes},
                           {TFieldType::ftVarBytes, 0},
                           {TFieldType::ftAutoInc, pxAutoInc},
                           {TFieldType::ftBlob, pxBinary},
                           {TFieldType::ftMemo, pxMemo},
                           {TFieldType::ftGraphic, pxGraphic},
                           {TFieldType::ftFmtMemo, pxFmtMemo},
                           {TFieldType::ftParadoxOle, pxOle},
                           {TFieldType::ftTypedBinary, pxBinary},
                           {TFieldType::ftCursor, 0},
                           {TFieldType::ftFixedChar, pxAlpha},
                           {TFieldType::ftWideString, pxAlpha},
                           {TFieldType::ftLargeint, pxLong}};
    for (const auto& n : names) {
        TempDir dir;
        const std::string path = dir.file("A.DB");
        // A blank value converts to every type.
        writeParadox(path, tableWith(fieldOf("Wert", caseOf('S'))), rowsWith({Blank{}}));
        TParadoxChange change;
        change.DatabaseName = dir.path().string();
        change.TableName = "A.DB";
        const auto stored = [&] { return openParadox(path)->schema().fields[1].physicalType; };
        try {
            change.ChangeField("Wert", static_cast<std::uint8_t>(n.type), 12);
            ASSERT_NE(n.stored, 0) << "type " << static_cast<int>(n.type) << " accepted";
            EXPECT_EQ(stored(), physicalCodeOf(n.stored)) << static_cast<int>(n.type);
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(n.stored, 0) << static_cast<int>(n.type) << ": " << e.what();
            EXPECT_EQ(e.errorCode(), DBIERR_INVALIDFLDTYPE) << e.what();
        }
    }
}

TEST(Pack, ThroughTheRestructureOnAFullPathKeepsIndexesBlobsAndPassword) {
    TempDir dir;
    const std::string path = dir.file("GEHEIM.DB");
    auto props = std::make_shared<ParadoxProperties>();
    props->encryption = passwordChecksum("kx4");
    std::vector<FieldValue> values;
    for (int i = 0; i < 400; ++i) values.push_back(std::int64_t{i} * 3);
    const auto rows = rowsWith(values);
    writeParadox(path, tableWith(fieldOf("Wert", caseOf('I'))), rows, props);
    Session().AddPassword("kx4");
    hDBIDb db = nullptr;
    Check(DbiOpenDatabase(nullptr, nullptr, dbiREADWRITE, dbiOPENSHARED, nullptr, 0, nullptr,
                          nullptr, &db));
    CRTblDesc desc;
    std::strncpy(desc.szTblName, path.c_str(), DBIMAXTBLNAMELEN);
    desc.bPack = true;
    const DBIResult result = DbiDoRestructure(db, 1, &desc, nullptr, nullptr, nullptr, false);
    Check(DbiCloseDatabase(&db));
    Check(result);
    ScriptedPasswords none, known({"kx4"});
    EXPECT_THROW(openParadox(path, false, &none), EDBEngineError);
    auto table = openParadox(path, false, &known);
    EXPECT_EQ(readAll(*table), rows);
    ASSERT_EQ(table->schema().indexes.size(), 2u);
    EXPECT_EQ(table->schema().indexes[1].name, "_Name");
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
    Session().RemoveAllPasswords();
}

TEST(Pack, PxlibStillReadsTheCorpusTableAfterPackAndRestructure) {
    KX4_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    const std::string path = copyCorpusTable("paradox/lazarus-paradox/CARIKRT.DB", dir.path());
    const PxlibTable before = readWithPxlib(path);
    const auto ours = readTable(path);
    {
        auto file = openParadox(path, true);
        FileTransaction tx(defaultFileSystem(), path);
        auto builder = paradoxFormat().build(file->path(), file->schema(), file->properties(), tx);
        for (const auto& r : readAll(*file)) builder->append(r);
        builder->finish();
        tx.commit();
    }
    changeField(path, "HESAPADI", typeChange(0, 100));  // widen an indexed field
    const PxlibTable after = readWithPxlib(path);
    ASSERT_EQ(after.records.size(), before.records.size()) << after.error;
    for (std::size_t r = 0; r < after.records.size(); ++r)
        EXPECT_EQ(after.records[r], before.records[r]) << "record " << r + 1;
    auto table = openParadox(path);
    EXPECT_EQ(readAll(*table), ours);
    EXPECT_EQ(table->schema().indexes.size(), 5u);
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
}

}  // namespace
}  // namespace kx4::test
