#include "ui/FeldInfos.h"

#include "app/FieldTypeNames.h"

namespace kx4 {

FeldInfo DescribeFeld(const TTable& table, const std::string& fieldName, int mode) {
    const TField& field = table.FieldByName(fieldName);
    FeldInfo info;
    info.name = QString::fromStdString(field.FieldName());
    info.typeText = QString::fromStdString(mode == 2 ? definitionTypeCode(field.DataType())
                                                     : browserTypeName(field.DataType()));
    if (mode == 1 && field.IsIndexField()) info.typeText += " (*)";
    info.lengthText = QString::fromStdString(shownLength(field.DataType(), field.Size()));
    return info;
}

}  // namespace kx4
