// Every driver describes the fields it creates with the engine type and the record data size
// that the one table of field-type facts gives for the field's type, so that the field lists,
// the table maintenance and the drivers cannot drift apart.
#include <gtest/gtest.h>

#include "engine/TableMaintenance.h"
#include "engine/ascii/AsciiFormat.h"
#include "engine/core/Errors.h"
#include "engine/core/FieldTypeFacts.h"
#include "engine/dbase/DBaseFormat.h"
#include "engine/paradox/ParadoxFormat.h"

namespace kx4 {
namespace {

struct DriverCase {
    const char* name;
    TableFormat& (*format)();
    friend void PrintTo(const DriverCase& c, std::ostream* os) { *os << c.name; }
};

class FieldTypeFacts : public testing::TestWithParam<DriverCase> {};

TEST_P(FieldTypeFacts, CreatedFieldsMatchTheFactsOfTheirType) {
    int held = 0;
    for (int code = 0; code <= static_cast<int>(TFieldType::ftReference); ++code) {
        const auto asked = static_cast<TFieldType>(code);
        FieldDef def;
        try {
            def = fieldForCreate(GetParam().format(), "F", asked, 10, false);
        } catch (const EDBEngineError&) {
            continue;  // a type this driver cannot hold
        }
        ++held;
        SCOPED_TRACE("field type " + std::to_string(code));
        const EngineType engine = engineTypeOf(def.type);
        EXPECT_NE(engine.type, fldUNKNOWN);
        EXPECT_EQ((EngineType{def.logicalType, def.subType}), engine);
        if (const int size = recordDataSizeOf(def.type); size != 0) {
            EXPECT_EQ(def.dataSize, size);
        }
        // A driver may hold a type as a wider one of its kind, never as a blob or a non-blob.
        EXPECT_EQ(engine.type == fldBLOB, engineTypeOf(asked).type == fldBLOB);
    }
    EXPECT_GE(held, 8) << "the check ran on too few types";
}

INSTANTIATE_TEST_SUITE_P(Drivers, FieldTypeFacts,
                         testing::Values(DriverCase{"Paradox", paradoxFormat},
                                         DriverCase{"dBase", dbaseFormat},
                                         DriverCase{"Text", asciiFormat}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kx4
