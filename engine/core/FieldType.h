#pragma once
// The table component's field types. Their ordinals double as numeric field-type codes in the
// user interface, so the values are fixed.
#include <cstdint>

namespace kx4 {

enum class TFieldType : std::uint8_t {
    ftUnknown = 0,
    ftString = 1,
    ftSmallint = 2,
    ftInteger = 3,
    ftWord = 4,
    ftBoolean = 5,
    ftFloat = 6,
    ftCurrency = 7,
    ftBCD = 8,
    ftDate = 9,
    ftTime = 10,
    ftDateTime = 11,
    ftBytes = 12,
    ftVarBytes = 13,
    ftAutoInc = 14,
    ftBlob = 15,
    ftMemo = 16,
    ftGraphic = 17,
    ftFmtMemo = 18,
    ftParadoxOle = 19,
    ftDBaseOle = 20,
    ftTypedBinary = 21,
    ftCursor = 22,
    ftFixedChar = 23,
    ftWideString = 24,
    ftLargeint = 25,
    ftADT = 26,
    ftArray = 27,
    ftReference = 28,
};

// Engine logical field types (fld*) and the Paradox driver's physical types (fldPDX*).
inline constexpr std::uint16_t fldUNKNOWN = 0;
inline constexpr std::uint16_t fldZSTRING = 1;
inline constexpr std::uint16_t fldDATE = 2;
inline constexpr std::uint16_t fldBLOB = 3;
inline constexpr std::uint16_t fldBOOL = 4;
inline constexpr std::uint16_t fldINT16 = 5;
inline constexpr std::uint16_t fldINT32 = 6;
inline constexpr std::uint16_t fldFLOAT = 7;
inline constexpr std::uint16_t fldBCD = 8;
inline constexpr std::uint16_t fldBYTES = 9;
inline constexpr std::uint16_t fldTIME = 10;
inline constexpr std::uint16_t fldTIMESTAMP = 11;
inline constexpr std::uint16_t fldUINT16 = 12;
inline constexpr std::uint16_t fldUINT32 = 13;
inline constexpr std::uint16_t fldFLOATIEEE = 14;
inline constexpr std::uint16_t fldVARBYTES = 15;
inline constexpr std::uint16_t fldLOCKINFO = 16;
inline constexpr std::uint16_t fldCURSOR = 17;
inline constexpr std::uint16_t fldINT64 = 18;
inline constexpr std::uint16_t fldUINT64 = 19;
inline constexpr std::uint16_t fldADT = 20;
inline constexpr std::uint16_t fldARRAY = 21;
inline constexpr std::uint16_t fldREF = 22;

// Logical subtypes.
inline constexpr std::uint16_t fldstMONEY = 21;
inline constexpr std::uint16_t fldstMEMO = 22;
inline constexpr std::uint16_t fldstBINARY = 23;
inline constexpr std::uint16_t fldstFMTMEMO = 24;
inline constexpr std::uint16_t fldstOLEOBJ = 25;
inline constexpr std::uint16_t fldstGRAPHIC = 26;
inline constexpr std::uint16_t fldstDBSOLEOBJ = 27;
inline constexpr std::uint16_t fldstTYPEDBINARY = 28;
inline constexpr std::uint16_t fldstAUTOINC = 29;

// Paradox physical types (what a cursor in xltNONE mode reports).
inline constexpr std::uint16_t fldPDXCHAR = 0x101;
inline constexpr std::uint16_t fldPDXNUM = 0x102;
inline constexpr std::uint16_t fldPDXMONEY = 0x103;
inline constexpr std::uint16_t fldPDXDATE = 0x104;
inline constexpr std::uint16_t fldPDXSHORT = 0x105;
inline constexpr std::uint16_t fldPDXMEMO = 0x106;
inline constexpr std::uint16_t fldPDXBINARYBLOB = 0x107;
inline constexpr std::uint16_t fldPDXFMTMEMO = 0x108;
inline constexpr std::uint16_t fldPDXOLEBLOB = 0x109;
inline constexpr std::uint16_t fldPDXGRAPHIC = 0x10A;
inline constexpr std::uint16_t fldPDXLONG = 0x10B;
inline constexpr std::uint16_t fldPDXTIME = 0x10C;
inline constexpr std::uint16_t fldPDXDATETIME = 0x10D;
inline constexpr std::uint16_t fldPDXBOOL = 0x10E;
inline constexpr std::uint16_t fldPDXAUTOINC = 0x10F;
inline constexpr std::uint16_t fldPDXBYTES = 0x110;
inline constexpr std::uint16_t fldPDXBCD = 0x111;

// dBase physical types.
inline constexpr std::uint16_t fldDBCHAR = 0x101;
inline constexpr std::uint16_t fldDBNUM = 0x102;
inline constexpr std::uint16_t fldDBMEMO = 0x103;
inline constexpr std::uint16_t fldDBBOOL = 0x104;
inline constexpr std::uint16_t fldDBDATE = 0x105;
inline constexpr std::uint16_t fldDBFLOAT = 0x106;
inline constexpr std::uint16_t fldDBLOCK = 0x107;
inline constexpr std::uint16_t fldDBOLEBLOB = 0x108;
inline constexpr std::uint16_t fldDBBINARY = 0x109;
inline constexpr std::uint16_t fldDBBYTES = 0x10A;
inline constexpr std::uint16_t fldDBLONG = 0x10B;
inline constexpr std::uint16_t fldDBDATETIME = 0x10C;
inline constexpr std::uint16_t fldDBDOUBLE = 0x10D;
inline constexpr std::uint16_t fldDBAUTOINC = 0x10E;

}  // namespace kx4
