#pragma once
// Reading a table by position agrees with its cursors: the live records of every position, in
// physical order and in the order each index lists them, are the records scan() and
// scanIndex() give.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/core/TableFormat.h"

namespace kx4::test {

inline std::vector<Record> cursorRecords(RecordCursor& cursor) {
    std::vector<Record> out;
    Record r;
    while (cursor.next(r)) out.push_back(r);
    return out;
}

inline std::vector<Record> liveAt(RecordReader& reader, const std::vector<std::uint32_t>& order) {
    std::vector<Record> out;
    Record r;
    for (std::uint32_t position : order)
        if (position >= 1 && position <= reader.count() && reader.read(position, r))
            out.push_back(r);
    return out;
}

inline void expectPositionsAgreeWithCursors(TableFile& table) {
    auto reader = table.readByPosition();
    std::vector<std::uint32_t> physical(reader->count());
    for (std::size_t i = 0; i < physical.size(); ++i)
        physical[i] = static_cast<std::uint32_t>(i + 1);
    const std::vector<Record> scanned = cursorRecords(*table.scan());
    EXPECT_EQ(liveAt(*reader, physical), scanned);
    // From the end back to the start, as a view jumping to the last row reads.
    std::vector<std::uint32_t> backwards(physical.rbegin(), physical.rend());
    std::vector<Record> reversed = liveAt(*table.readByPosition(), backwards);
    std::reverse(reversed.begin(), reversed.end());
    EXPECT_EQ(reversed, scanned);
    for (const auto& index : table.schema().indexes) {
        if (!index.fault.empty()) continue;
        const std::string name = index.options.has(IndexOption::ixPrimary) ? "" : index.name;
        EXPECT_EQ(liveAt(*reader, table.indexPositions(name)),
                  cursorRecords(*table.scanIndex(name)))
            << "index " << index.name;
    }
}

}  // namespace kx4::test
