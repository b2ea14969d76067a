#pragma once
// The engine's low-level call interface. Every function returns a DBIResult; Check() turns a
// failure into EDBEngineError carrying the message of the failing call.
#include "engine/core/DbiTypes.h"

namespace kx4 {

class TSession;
TSession& Session();

// Raises EDBEngineError for a failure code, with the message of the last failing call.
void Check(DBIResult result);
// Message of the last failing Dbi call on this thread.
const std::string& DbiLastErrorMessage();

// The calls that take no handle work on `session`; the others on the session of their handle.
DBIResult DbiGetDatabaseDesc(const char* name, DBDesc* desc, TSession& session = Session());
DBIResult DbiGetDirectory(hDBIDb db, bool defaultDir, char* dir);  // dir: DBIMAXPATHLEN + 1
DBIResult DbiSetProp(hDBIObj obj, std::uint32_t prop, std::uint32_t value);
DBIResult DbiGetCursorProps(hDBICur cursor, CURProps* props);
DBIResult DbiGetFieldDescs(hDBICur cursor, FLDDesc* descs);
DBIResult DbiGetObjFromObj(hDBIObj obj, std::uint16_t type, hDBIObj* result);
DBIResult DbiDoRestructure(hDBIDb db, std::uint16_t count, CRTblDesc* desc, const char* saveAs,
                           const char* keyViolName, const char* problemsName, bool analyzeOnly);
DBIResult DbiPackTable(hDBIDb db, hDBICur cursor, const char* tableName, const char* driverType,
                       bool regenIdxs);
DBIResult DbiOpenDatabase(const char* name, const char* type, DBIOpenMode mode, DBIShareMode share,
                          const char* password, std::uint16_t optFields, void* optDesc,
                          void* optParams, hDBIDb* db, TSession& session = Session());
DBIResult DbiCloseDatabase(hDBIDb* db);
DBIResult DbiGetIndexDesc(hDBICur cursor, std::uint16_t indexSeqNo, IDXDesc* desc);
DBIResult DbiDeleteIndex(hDBIDb db, hDBICur cursor, const char* tableName, const char* driverType,
                         const char* indexName, const char* tagName, std::uint16_t indexId);

}  // namespace kx4
