// A new length for a character field, through the engine's restructure. The sequence is the one
// of the single-field restructure (ParadoxChange.cpp), with these differences: the table type
// follows the upper-cased name, the field is looked up in a shared open before the exclusive
// one, the results of the property and descriptor calls are not examined, the four passwords are
// held for the whole call, and the table is left closed.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "definition/DefineForm.h"
#include "engine/Cursor.h"
#include "engine/Dbi.h"
#include "engine/Table.h"
#include "engine/core/ScopeExit.h"
#include "restructure/ParadoxChange.h"
#include "ui/AliasPath.h"
#include "ui/TablePasswords.h"
#include "ui/TableTypeOfName.h"

namespace kx4 {

namespace {

// Copies a name into a fixed, zero-terminated field of an engine record, cut to fit.
template <std::size_t N>
void copyName(char (&field)[N], std::string_view name) {
    const std::size_t length = std::min(name.size(), N - 1);
    std::memcpy(field, name.data(), length);
    field[length] = '\0';
}

}  // namespace

void TDefineForm::ChangeFeldLength(const QString& alias, const QString& tableName,
                                   const QString& field, int length) {
    // Released in reverse order, in every outcome: the passwords leave the session, then the
    // table is made shared and closed, then freed.
    auto table = std::make_unique<TTable>(session_);
    const ScopeExit release([&] {
        table->Exclusive = false;
        table->Close();
    });
    const TablePasswords passwords(session_);

    // 1. Find the field in a shared open.
    table->Close();
    table->DatabaseName = AnsiToOem(alias);
    table->TableName = AnsiToOem(tableName);
    // The length change tests the upper-cased name, so every spelling of the extension counts.
    table->TableType = TableTypeOfName(tableName.toUpper());
    table->Open();
    const int slot = table->FieldByName(field.toStdString()).Index();
    TFieldChange change;
    change.NewUnits1 = static_cast<std::uint16_t>(length);  // the low 16 bits

    // 2. Reopen exclusively and read the physical field descriptors.
    table->Close();
    table->Exclusive = true;
    table->Open();
    DbiSetProp(table->Handle(), curXLTMODE, xltNONE);
    CURProps props;
    DbiGetCursorProps(table->Handle(), &props);
    const int n = table->FieldCount();
    std::vector<FLDDesc> descs(n);
    std::vector<CROpType> ops(n, crNOOP);
    ops[slot] = crMODIFY;
    DbiGetFieldDescs(table->Handle(), descs.data());

    // 3. Only the length changes, and only when one was given.
    if (change.NewUnits1 != 0) descs[slot].iUnits1 = static_cast<std::int16_t>(change.NewUnits1);
    for (int k = 0; k < n; ++k) descs[k].iFldNum = static_cast<std::uint16_t>(k + 1);

    // 4. Restructure the closed table.
    CRTblDesc desc;
    hDBIObj db = nullptr;
    Check(DbiGetObjFromObj(table->Handle(), objDATABASE, &db));
    copyName(desc.szTblName, table->TableName);
    copyName(desc.szTblType, props.szTableType);
    desc.iFldCount = static_cast<std::uint16_t>(n);
    desc.pecrFldOp = ops.data();
    desc.pfldDesc = descs.data();
    table->Close();
    Check(DbiDoRestructure(static_cast<hDBIDb>(db), 1, &desc, nullptr, nullptr, nullptr, false));
}

}  // namespace kx4
