#pragma once
// Paradox field type codes (field-info array of the header) and their sizes in a record.
#include <cstdint>

namespace kx4::paradox {

enum PdxType : std::uint8_t {
    pxAlpha = 0x01,
    pxDate = 0x02,
    pxShort = 0x03,
    pxLong = 0x04,
    pxMoney = 0x05,
    pxNumber = 0x06,
    pxLogical = 0x09,
    pxMemo = 0x0C,
    pxBinary = 0x0D,
    pxFmtMemo = 0x0E,
    pxOle = 0x0F,
    pxGraphic = 0x10,
    pxTime = 0x14,
    pxTimestamp = 0x15,
    pxAutoInc = 0x16,
    pxBcd = 0x17,
    pxBytes = 0x18,
};

inline constexpr int kBcdRecordSize = 17;
inline constexpr int kBcdMaxDecimals = 32;
inline constexpr int kBlobPointerSize = 10;  // after the leader: offset|index, length, modnr
inline constexpr int kMaxBlobLeader = 240;

inline bool isBlobType(std::uint8_t t) { return t >= pxMemo && t <= pxGraphic; }
inline bool isKnownType(std::uint8_t t) {
    switch (t) {
        case pxAlpha:
        case pxDate:
        case pxShort:
        case pxLong:
        case pxMoney:
        case pxNumber:
        case pxLogical:
        case pxMemo:
        case pxBinary:
        case pxFmtMemo:
        case pxOle:
        case pxGraphic:
        case pxTime:
        case pxTimestamp:
        case pxAutoInc:
        case pxBcd:
        case pxBytes:
            return true;
        default:
            return false;
    }
}

// Record bytes of a fixed-size type, 0 for types whose size the field info gives.
inline int fixedSizeOf(std::uint8_t t) {
    switch (t) {
        case pxDate:
        case pxLong:
        case pxTime:
        case pxAutoInc:
            return 4;
        case pxShort:
            return 2;
        case pxMoney:
        case pxNumber:
        case pxTimestamp:
            return 8;
        case pxLogical:
            return 1;
        case pxBcd:
            return kBcdRecordSize;
        default:
            return 0;
    }
}

// The table level (header byte 0x39) a field type needs at least.
inline std::uint8_t minimumVersionFor(std::uint8_t t) {
    if (isBlobType(t)) return 0x09;
    switch (t) {
        case pxLong:
        case pxLogical:
        case pxTime:
        case pxTimestamp:
        case pxAutoInc:
        case pxBcd:
        case pxBytes:
            return 0x0B;
        default:
            return 0x03;
    }
}

}  // namespace kx4::paradox
