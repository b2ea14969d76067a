#include "engine/ascii/AsciiFormat.h"
#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/TableFormat.h"
#include "engine/dbase/DBaseFormat.h"
#include "engine/paradox/ParadoxFormat.h"

namespace kx4 {

std::vector<TableFormat*> allFormats() {
    return {&paradoxFormat(), &dbaseFormat(), &asciiFormat()};
}

TableFormat* formatByExtension(const std::string& fileName) {
    for (TableFormat* format : allFormats())
        if (format->isTableFile(fileName)) return format;
    return nullptr;
}

TableFormat& formatFor(TTableType type, const std::string& fileName) {
    switch (type) {
        case TTableType::ttParadox:
            return paradoxFormat();
        case TTableType::ttDBase:
            return dbaseFormat();
        case TTableType::ttASCII:
            return asciiFormat();
        case TTableType::ttDefault:
            break;
    }
    if (TableFormat* format = formatByExtension(fileName)) return *format;
    // A name without a known extension is a Paradox table, as the classic engine assumes.
    return paradoxFormat();
}

}  // namespace kx4
