#include "FileSystem.h"
#include "TableFormat.h"

namespace kx4 {

std::string TablePath::full() const { return joinPath(directory, fileName); }

}  // namespace kx4
