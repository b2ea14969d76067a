#pragma once
// Secondary indexes of a table: .Xnn (one field, named after it) and .XGn (composite or named)
// files with their .Ynn/.YGn trees.
#include <string>
#include <vector>

#include "engine/core/FileSystem.h"
#include "engine/core/TableSchema.h"
#include "engine/paradox/ParadoxHeader.h"

namespace kx4 {
class TextCodec;
}

namespace kx4::paradox {

struct SecondaryIndexFile {
    std::string path;    // the X file
    std::string suffix;  // "X06", "XG0" (upper case)
    Header header;
    IndexDef definition;
};

// "X06" or "XG1" when `extension` (with or without the dot, any case) names an X file, else "".
std::string secondaryIndexSuffix(const std::string& extension);

// The secondary indexes beside `tableFile`, in the engine's order (single-field indexes by
// field number, then composite ones by number). A damaged X header raises naming the file.
std::vector<SecondaryIndexFile> findSecondaryIndexes(const std::string& tableFile,
                                                     const Header& table,
                                                     const std::vector<std::string>& fieldNames,
                                                     const TextCodec& codec, FileSystem& fs);

}  // namespace kx4::paradox
