#pragma once
// The description of one field as every field list shows it: name, type text and length.
#include <QString>
#include <string>

#include "engine/Table.h"

namespace kx4 {

struct FeldInfo {
    QString name;
    QString typeText;
    QString lengthText;
};

// Mode 1: the browser's type names, with " (*)" after the type of a field of the table's
// current index. Mode 2: the definition window's type codes, never marked.
FeldInfo DescribeFeld(const TTable& table, const std::string& fieldName, int mode);

}  // namespace kx4
