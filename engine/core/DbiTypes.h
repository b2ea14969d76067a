#pragma once
// The engine's published records and constants of its low-level call interface (Dbi.h).
#include <cstdint>
#include <string>

#include "engine/core/Errors.h"

namespace kx4 {

class Cursor;
class Database;
using hDBICur = Cursor*;
using hDBIDb = Database*;
using hDBIObj = void*;

inline constexpr int DBIMAXNAMELEN = 31;
inline constexpr int DBIMAXPATHLEN = 260;
inline constexpr int DBIMAXTBLNAMELEN = 260;

// Field descriptor.
struct FLDDesc {
    std::uint16_t iFldNum = 0;
    char szName[DBIMAXNAMELEN + 1] = {};
    std::uint16_t iFldType = 0;
    std::uint16_t iSubType = 0;
    std::int16_t iUnits1 = 0;
    std::int16_t iUnits2 = 0;
    std::uint16_t iOffset = 0;
    std::uint16_t iLen = 0;
    std::uint16_t iNullOffset = 0;
    std::uint16_t efldvVchk = 0;
    std::uint16_t efldrRights = 0;
    std::uint16_t bCalcField = 0;
    std::uint16_t iUnUsed[2] = {};
};

enum CROpType : std::uint16_t { crNOOP = 0, crADD = 1, crCOPY = 2, crMODIFY = 3, crDROP = 4 };

// Index descriptor.
struct IDXDesc {
    char szName[DBIMAXPATHLEN + 1] = {};
    std::uint16_t iIndexId = 0;
    char szTagName[DBIMAXNAMELEN + 1] = {};
    char szFormat[DBIMAXNAMELEN + 1] = {};
    bool bPrimary = false;
    bool bUnique = false;
    bool bDescending = false;
    bool bMaintained = false;
    bool bSubset = false;
    bool bExpIdx = false;
    std::uint16_t iCost = 0;
    std::uint16_t iFldsInKey = 0;
    std::uint16_t iKeyLen = 0;
    bool bOutofDate = false;
    std::uint16_t iKeyExpType = 0;
    std::uint16_t aiKeyFld[16] = {};
    char szKeyExp[221] = {};
    char szKeyCond[221] = {};
    bool bCaseInsensitive = false;
    std::uint16_t iBlockSize = 0;
    std::uint16_t iRestrNum = 0;
};

// Table descriptor for create and restructure.
struct CRTblDesc {
    char szTblName[DBIMAXTBLNAMELEN + 1] = {};
    char szTblType[DBIMAXNAMELEN + 1] = {};
    char szErrTblName[DBIMAXPATHLEN + 1] = {};
    char szUserName[DBIMAXNAMELEN + 1] = {};
    char szPassword[DBIMAXNAMELEN + 1] = {};
    bool bProtected = false;
    bool bPack = false;
    std::uint16_t iFldCount = 0;
    CROpType* pecrFldOp = nullptr;
    FLDDesc* pfldDesc = nullptr;
    std::uint16_t iIdxCount = 0;
    CROpType* pecrIdxOp = nullptr;
    IDXDesc* pidxDesc = nullptr;
    std::uint16_t iSecRecCount = 0;
    void* pecrSecOp = nullptr;
    void* psecDesc = nullptr;
    std::uint16_t iValChkCount = 0;
    void* pecrValChkOp = nullptr;
    void* pvchkDesc = nullptr;
    std::uint16_t iRintCount = 0;
    void* pecrRintOp = nullptr;
    void* printDesc = nullptr;
    std::uint16_t iOptParams = 0;
    void* pfldOptParams = nullptr;
    void* pOptData = nullptr;
};

// Cursor properties.
struct CURProps {
    char szName[DBIMAXTBLNAMELEN + 1] = {};
    std::uint16_t iFNameSize = 0;
    char szTableType[DBIMAXNAMELEN + 1] = {};
    std::uint16_t iFields = 0;
    std::uint16_t iRecSize = 0;
    std::uint16_t iRecBufSize = 0;
    std::uint16_t iKeySize = 0;
    std::uint16_t iIndexes = 0;
    std::uint16_t iValChecks = 0;
    std::uint16_t iRefIntChecks = 0;
    std::uint16_t iBookMarkSize = 0;
    bool bBookMarkStable = false;
    std::uint16_t eOpenMode = 0;
    std::uint16_t eShareMode = 0;
    bool bIndexed = false;
    std::int16_t iSeqNums = 0;
    bool bSoftDeletes = false;
    bool bDeletedOn = false;
    std::uint16_t iRefRange = 0;
    std::uint16_t exltMode = 0;
    std::uint16_t iRestrVersion = 0;
    bool bUniDirectional = false;
    std::uint16_t eprvRights = 0;
    std::uint16_t Dummy4 = 0;
    std::uint16_t iFmlRights = 0;
    std::uint16_t iPasswords = 0;
    std::uint16_t iCodePage = 0;
    bool bProtected = false;
    std::uint16_t iTblLevel = 0;
    char szLangDriver[DBIMAXNAMELEN + 1] = {};
    bool bFieldMap = false;
    std::uint16_t iBlockSize = 0;
    bool bStrictRefInt = false;
    std::uint16_t iFilters = 0;
    bool bTempTable = false;
    std::uint32_t iUnUsed = 0;
    std::uint64_t iRecords = 0;  // our addition: live record count
};

// Database description.
struct DBDesc {
    char szName[DBIMAXNAMELEN + 1] = {};
    char szText[DBIMAXNAMELEN + 1] = {};
    char szPhyName[DBIMAXPATHLEN + 1] = {};
    char szDbType[DBIMAXNAMELEN + 1] = {};
};

inline constexpr std::uint32_t curXLTMODE = 0x00050005;
inline constexpr std::uint32_t xltNONE = 0;
inline constexpr std::uint32_t xltFIELD = 1;
inline constexpr std::uint16_t objDATABASE = 4;
inline constexpr char szDBASE[] = "DBASE";
inline constexpr char szPARADOX[] = "PARADOX";
inline constexpr char szASCII[] = "ASCIIDRV";

enum DBIOpenMode { dbiREADWRITE = 0, dbiREADONLY = 1 };
enum DBIShareMode { dbiOPENSHARED = 0, dbiOPENEXCL = 1 };

}  // namespace kx4
