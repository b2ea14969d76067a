#include "engine/core/Errors.h"

namespace kx4 {

void throwEngineError(DBIResult code, const std::string& message) {
    throw EDBEngineError(code, message);
}

void throwCorrupt(const std::string& file, const std::string& what) {
    throw EDBEngineError(DBIERR_FILECORRUPT, "Corrupt table file " + file + ": " + what);
}

void throwNoSuchField(const std::string& name) {
    throw EDBEngineError(DBIERR_NOSUCHFIELD, "Das Feld '" + name + "' wurde nicht gefunden");
}

}  // namespace kx4
