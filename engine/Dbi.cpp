#include "engine/Dbi.h"

#include <cstring>
#include <list>
#include <memory>
#include <mutex>

#include "engine/Cursor.h"
#include "engine/Session.h"
#include "engine/TableMaintenance.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/Progress.h"

namespace kx4 {

namespace {

// The database handle a cursor gives outlives the cursor: a restructure is called with it after
// the table was closed. One object per database, kept for the life of the process; closing it
// does nothing.
std::mutex lastingMutex;
std::list<Database> lastingDatabases;

Database* lastingDatabase(const Database& db) {
    const std::lock_guard lock(lastingMutex);
    for (Database& d : lastingDatabases)
        if (&d.session() == &db.session() && d.name() == db.name() &&
            d.directory() == db.directory())
            return &d;
    return &lastingDatabases.emplace_back(db);
}

bool isLasting(const Database* db) {
    const std::lock_guard lock(lastingMutex);
    for (const Database& d : lastingDatabases)
        if (&d == db) return true;
    return false;
}

thread_local std::string g_lastError;
thread_local DBIResult g_lastCode = DBIERR_NONE;

template <std::size_t N>
void copyText(char (&target)[N], const std::string& text) {
    std::memset(target, 0, N);
    std::strncpy(target, text.c_str(), N - 1);
}

// Runs one call, turning every failure into its result code and remembering the message.
template <typename Body>
DBIResult guarded(Body body) {
    try {
        body();
        return DBIERR_NONE;
    } catch (const EOperationCancelled&) {
        throw;  // the user's stop is no failure of the call
    } catch (const EDBEngineError& e) {
        g_lastError = e.what();
        g_lastCode = e.errorCode();
    } catch (const std::exception& e) {
        g_lastError = e.what();
        g_lastCode = DBIERR_INVALIDPARAM;
    }
    return g_lastCode;
}

void requireHandle(const void* handle, const char* what) {
    if (!handle) throwEngineError(DBIERR_INVALIDPARAM, std::string("Invalid ") + what + " handle");
}

TableFormat& formatForDescriptor(const CRTblDesc& desc, const std::string& fileName) {
    const std::string type = toUpperAscii(desc.szTblType);
    if (type == szPARADOX) return formatFor(TTableType::ttParadox, fileName);
    if (type == szDBASE) return formatFor(TTableType::ttDBase, fileName);
    if (type == szASCII) return formatFor(TTableType::ttASCII, fileName);
    if (!type.empty()) throwEngineError(DBIERR_INVALIDPARAM, "Unknown table type " + type);
    return formatFor(TTableType::ttDefault, fileName);
}

// The new structure from the descriptors: crADD fields are new, every other operation keeps
// the field numbered iFldNum (counted from 1) of the old table; unlisted fields are dropped.
// A field asked to take a logical type that the table's driver can only store as the field's
// present type: the change would do nothing, and the user must learn that it cannot apply.
bool asksForATypeTheFormatLacks(const FLDDesc& asked, const FieldDef& present,
                                const FieldDef& result) {
    const bool logical = asked.iFldType < fldPDXCHAR;
    const bool otherType =
        asked.iFldType != present.logicalType || asked.iSubType != present.subType;
    return logical && otherType && result == present;
}

RestructurePlan planFromDescriptors(TableFormat& format, const TableSchema& schema,
                                    const CRTblDesc& desc, const std::string& tableName) {
    RestructurePlan plan;
    for (int i = 0; i < desc.iFldCount; ++i) {
        const FLDDesc& fd = desc.pfldDesc[i];
        const CROpType op = desc.pecrFldOp ? desc.pecrFldOp[i] : crNOOP;
        if (op == crDROP) continue;
        FieldPlan f;
        f.source = op == crADD ? -1 : fd.iFldNum - 1;
        if (f.source >= static_cast<int>(schema.fields.size()) || (op != crADD && f.source < 0))
            throwEngineError(DBIERR_INVALIDPARAM, "Field descriptor " + std::to_string(i + 1) +
                                                      " names no field of the table");
        if (op == crNOOP || op == crCOPY) {
            f.target = schema.fields[f.source];
        } else {
            f.target = format.fieldFromDescriptor(fd);
            if (f.target.name.empty()) f.target.name = schema.fields[f.source].name;
            if (op == crMODIFY && asksForATypeTheFormatLacks(fd, schema.fields[f.source], f.target))
                throwEngineError(DBIERR_INVALIDFLDTYPE,
                                 "Field " + f.target.name + " of " + tableName +
                                     " stays as it is: a " + format.driverName() +
                                     " table has no field of the type asked for and would "
                                     "store it as the field's present type");
        }
        plan.fields.push_back(f);
    }
    return plan;
}

void restructure(Database& db, CRTblDesc& desc) {
    const std::string tableName(desc.szTblName, strnlen(desc.szTblName, sizeof desc.szTblName));
    if (tableName.empty()) throwEngineError(DBIERR_NAMEREQUIRED, "Restructure needs a table name");
    const TablePath path = db.resolve(tableName);
    TableFormat& format = formatForDescriptor(desc, path.fileName);
    auto file = format.open(path, db.session().openOptions(path, true));
    if (desc.iFldCount == 0) {
        if (!desc.bPack) return;  // nothing to change
        packTable(format, *file);
        return;
    }
    if (!desc.pfldDesc)
        throwEngineError(DBIERR_INVALIDPARAM, "Restructure without field descriptors");
    RestructurePlan plan = planFromDescriptors(format, file->schema(), desc, path.fileName);
    plan.pack = desc.bPack;
    restructureTable(format, *file, plan);
}

const IndexDef* currentIndex(Cursor& cursor) {
    const auto& indexes = cursor.file().schema().indexes;
    for (const auto& index : indexes) {
        if (cursor.indexName().empty() ? index.options.has(IndexOption::ixPrimary)
                                       : sameName(index.name, cursor.indexName()))
            return &index;
    }
    return nullptr;
}

}  // namespace

const std::string& DbiLastErrorMessage() { return g_lastError; }

void Check(DBIResult result) {
    if (result == DBIERR_NONE) return;
    throw EDBEngineError(result, g_lastCode == result && !g_lastError.empty()
                                     ? g_lastError
                                     : "Engine error " + std::to_string(result));
}

DBIResult DbiGetDatabaseDesc(const char* name, DBDesc* desc, TSession& session) {
    return guarded([&] {
        requireHandle(name, "database name");
        requireHandle(desc, "descriptor");
        const AliasDefinition& alias = session.alias(name);
        *desc = DBDesc{};
        copyText(desc->szName, alias.name);
        copyText(desc->szText, alias.name);
        copyText(desc->szDbType, alias.type());
        copyText(desc->szPhyName, alias.param("PATH"));
    });
}

DBIResult DbiGetDirectory(hDBIDb db, bool defaultDir, char* dir) {
    return guarded([&] {
        requireHandle(db, "database");
        requireHandle(dir, "buffer");
        std::string path =
            defaultDir || db->directory().empty() ? std::string(".") : db->directory();
        if (path.back() != '/') path += '/';
        if (path.size() > DBIMAXPATHLEN)
            throwEngineError(DBIERR_INVALIDPARAM, "Directory name too long: " + path);
        std::memcpy(dir, path.c_str(), path.size() + 1);
    });
}

DBIResult DbiSetProp(hDBIObj obj, std::uint32_t prop, std::uint32_t value) {
    return guarded([&] {
        requireHandle(obj, "cursor");
        if (prop != curXLTMODE) throwEngineError(DBIERR_NOTSUPPORTED, "Property not supported");
        static_cast<Cursor*>(obj)->setTranslationMode(value);
    });
}

DBIResult DbiGetCursorProps(hDBICur cursor, CURProps* props) {
    return guarded([&] {
        requireHandle(cursor, "cursor");
        requireHandle(props, "properties");
        const TableInfo info = cursor->file().info();
        const TableSchema& schema = cursor->file().schema();
        *props = CURProps{};
        copyText(props->szName, cursor->file().path().full());
        copyText(props->szTableType, info.driverName);
        props->iFields = static_cast<std::uint16_t>(schema.fields.size());
        props->iRecSize = static_cast<std::uint16_t>(info.recordSize);
        props->iRecBufSize = props->iRecSize;
        props->iIndexes = static_cast<std::uint16_t>(schema.indexes.size());
        props->bIndexed = !schema.indexes.empty();
        props->iSeqNums = static_cast<std::int16_t>(info.seqNums);
        props->bSoftDeletes = info.seqNums == 0;
        props->exltMode = static_cast<std::uint16_t>(cursor->translationMode());
        props->iCodePage = static_cast<std::uint16_t>(info.codePage);
        props->bProtected = info.encrypted;
        props->iTblLevel = static_cast<std::uint16_t>(info.version);
        props->eShareMode = cursor->file().exclusive() ? dbiOPENEXCL : dbiOPENSHARED;
        props->iRecords = info.recordCount;
    });
}

DBIResult DbiGetFieldDescs(hDBICur cursor, FLDDesc* descs) {
    return guarded([&] {
        requireHandle(cursor, "cursor");
        requireHandle(descs, "descriptor array");
        const auto& fields = cursor->file().schema().fields;
        const bool physical = cursor->translationMode() == xltNONE;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            descs[i] = FLDDesc{};
            cursor->format().describeField(fields[i], physical, descs[i]);
            descs[i].iFldNum = static_cast<std::uint16_t>(i + 1);
            copyText(descs[i].szName, fields[i].name);
        }
    });
}

DBIResult DbiGetObjFromObj(hDBIObj obj, std::uint16_t type, hDBIObj* result) {
    return guarded([&] {
        requireHandle(obj, "object");
        requireHandle(result, "result");
        if (type != objDATABASE) throwEngineError(DBIERR_NOTSUPPORTED, "Object type not supported");
        *result = lastingDatabase(static_cast<Cursor*>(obj)->database());
    });
}

DBIResult DbiDoRestructure(hDBIDb db, std::uint16_t count, CRTblDesc* desc, const char* saveAs,
                           const char* keyViolName, const char* problemsName, bool analyzeOnly) {
    return guarded([&] {
        requireHandle(db, "database");
        requireHandle(desc, "table descriptor");
        if (count != 1)
            throwEngineError(DBIERR_INVALIDPARAM, "Restructure takes one table descriptor");
        if (saveAs || keyViolName || problemsName || analyzeOnly)
            throwEngineError(DBIERR_NOTSUPPORTED, "Restructure into other tables is not supported");
        restructure(*db, *desc);
    });
}

DBIResult DbiPackTable(hDBIDb db, hDBICur cursor, const char* tableName, const char* driverType,
                       bool regenIdxs) {
    return guarded([&] {
        requireHandle(cursor, "cursor");
        (void)db;
        (void)tableName;
        (void)driverType;
        (void)regenIdxs;  // a pack always writes every index anew
        packTable(cursor->format(), cursor->file());
        cursor->reopen();
    });
}

DBIResult DbiOpenDatabase(const char* name, const char* type, DBIOpenMode mode, DBIShareMode share,
                          const char* password, std::uint16_t optFields, void* optDesc,
                          void* optParams, hDBIDb* db, TSession& session) {
    return guarded([&] {
        requireHandle(db, "result");
        const std::string alias = name ? name : "";
        const std::string dir = alias.empty() ? std::string() : session.directoryOf(alias);
        *db = new Database(session, alias, dir);
    });
}

DBIResult DbiCloseDatabase(hDBIDb* db) {
    return guarded([&] {
        requireHandle(db, "database");
        if (!isLasting(*db)) delete *db;
        *db = nullptr;
    });
}

DBIResult DbiGetIndexDesc(hDBICur cursor, std::uint16_t indexSeqNo, IDXDesc* desc) {
    return guarded([&] {
        requireHandle(cursor, "cursor");
        requireHandle(desc, "descriptor");
        const auto& indexes = cursor->file().schema().indexes;
        const IndexDef* index = nullptr;
        if (indexSeqNo == 0) {
            index = currentIndex(*cursor);
            if (!index)
                throwEngineError(DBIERR_NOSUCHINDEX, "Table " + cursor->file().path().fileName +
                                                         " is not open on an index");
        } else if (indexSeqNo <= indexes.size()) {
            index = &indexes[indexSeqNo - 1];
        } else {
            throwEngineError(DBIERR_NOSUCHINDEX, "No index number " + std::to_string(indexSeqNo));
        }
        *desc = IDXDesc{};
        copyText(desc->szName, index->name);
        copyText(desc->szTagName, index->tagName);
        copyText(desc->szKeyExp, index->expression);
        desc->bPrimary = index->options.has(IndexOption::ixPrimary);
        desc->bUnique = index->options.has(IndexOption::ixUnique) || desc->bPrimary;
        desc->bDescending = index->options.has(IndexOption::ixDescending);
        desc->bCaseInsensitive = index->options.has(IndexOption::ixCaseInsensitive);
        desc->bExpIdx = index->options.has(IndexOption::ixExpression);
        desc->bMaintained = !index->options.has(IndexOption::ixNonMaintained);
        const auto names = splitFieldList(index->fields);
        desc->iFldsInKey = static_cast<std::uint16_t>(names.size());
        const TableSchema& schema = cursor->file().schema();
        for (std::size_t i = 0; i < names.size() && i < 16; ++i)
            desc->aiKeyFld[i] = static_cast<std::uint16_t>(schema.fieldIndex(names[i]) + 1);
    });
}

DBIResult DbiDeleteIndex(hDBIDb db, hDBICur cursor, const char* tableName, const char* driverType,
                         const char* indexName, const char* tagName, std::uint16_t indexId) {
    return guarded([&] {
        requireHandle(cursor, "cursor");
        (void)db;
        (void)tableName;
        (void)driverType;
        (void)indexId;
        if (!cursor->file().exclusive())
            throwEngineError(DBIERR_NEEDEXCLACCESS, "Deleting an index needs exclusive access");
        std::string name = indexName ? indexName : "";
        if (name.empty() && tagName) name = tagName;
        FileTransaction tx(cursor->file().fileSystem(), cursor->file().path().full());
        cursor->format().deleteIndex(cursor->file(), name, tx);
        tx.commit();
        cursor->reopen();
    });
}

}  // namespace kx4
