#pragma once
// Exceptions raised by the engine. The message is the engine's own text, shown as is by the
// application's default error box.
#include <stdexcept>
#include <string>

namespace kx4 {

// Engine result codes. The high byte is the category (0x21 corrupt data, 0x22 end of data,
// 0x26 key violation, 0x27 invalid request, 0x29 lock, 0x2A/0x2B security and limits, 0x2C OS,
// 0x2E conversion, 0x33 query, 0x3E capability).
using DBIResult = unsigned short;
inline constexpr DBIResult DBIERR_NONE = 0x0000;
inline constexpr DBIResult DBIERR_EOF = 0x2202;
inline constexpr DBIResult DBIERR_NOTSUFFTABLERIGHTS = 0x2A02;
inline constexpr DBIResult DBIERR_HEADERCORRUPT = 0x2101;
inline constexpr DBIResult DBIERR_FILECORRUPT = 0x2102;
inline constexpr DBIResult DBIERR_BLOBCORRUPT = 0x2107;
inline constexpr DBIResult DBIERR_INDEXCORRUPT = 0x2104;
inline constexpr DBIResult DBIERR_KEYVIOL = 0x2601;
inline constexpr DBIResult DBIERR_NOSUCHFILE = 0x2712;
inline constexpr DBIResult DBIERR_NOSUCHTABLE = 0x2729;
inline constexpr DBIResult DBIERR_NOSUCHINDEX = 0x270D;
inline constexpr DBIResult DBIERR_NOSUCHFIELD = 0x2717;
inline constexpr DBIResult DBIERR_UNKNOWNDB = 0x2701;
inline constexpr DBIResult DBIERR_INVALIDPARAM = 0x2702;
inline constexpr DBIResult DBIERR_NAMEREQUIRED = 0x2721;
inline constexpr DBIResult DBIERR_INDEXEXISTS = 0x2A05;
inline constexpr DBIResult DBIERR_INVALIDRESTRTBLORDER = 0x2741;
inline constexpr DBIResult DBIERR_LOCKED = 0x2901;
inline constexpr DBIResult DBIERR_FILELOCKED = 0x2905;
inline constexpr DBIResult DBIERR_TABLEINUSE = 0x2908;
inline constexpr DBIResult DBIERR_NEEDEXCLACCESS = 0x290A;
inline constexpr DBIResult DBIERR_INVALIDPASSWORD = 0x2B01;
inline constexpr DBIResult DBIERR_NOTSUPPORTED = 0x3E0B;
inline constexpr DBIResult DBIERR_DATATOOLONG = 0x2E06;
inline constexpr DBIResult DBIERR_INVALIDFLDXFORM = 0x2E08;
inline constexpr DBIResult DBIERR_INVALIDFLDTYPE = 0x2E09;
inline constexpr DBIResult DBIERR_OSEACCES = 0x2C02;
inline constexpr DBIResult DBIERR_OSENOSPC = 0x2C1C;
inline constexpr DBIResult DBIERR_WRITEERR = 0x2109;
inline constexpr DBIResult DBIERR_READERR = 0x2108;
inline constexpr DBIResult DBIERR_QRYSYNTAX = 0x3302;
inline constexpr DBIResult DBIERR_FLDLIMIT = 0x2B06;

// Base of every database failure (the toolkit's EDatabaseError).
class EDatabaseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A failure reported by the table engine, with its result code.
class EDBEngineError : public EDatabaseError {
  public:
    EDBEngineError(DBIResult code, const std::string& message)
        : EDatabaseError(message), code_(code) {}
    DBIResult errorCode() const { return code_; }

  private:
    DBIResult code_;
};

// A text that is not a valid number, date or other value ("'%s' ist kein gültiger Integerwert").
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A file that cannot be opened, read or written outside the table engine (text files, reports).
class EInOutError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Raises EDBEngineError with a message that names the file and says what is wrong.
[[noreturn]] void throwEngineError(DBIResult code, const std::string& message);
[[noreturn]] void throwCorrupt(const std::string& file, const std::string& what);
// Raises DBIERR_NOSUCHFIELD in the engine's own words for a field list naming a missing field.
[[noreturn]] void throwNoSuchField(const std::string& name);

}  // namespace kx4
