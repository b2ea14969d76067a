#pragma once
// Builds the records of a rewritten dBase table from the stored records of the table it
// replaces. A field that keeps its storage is copied byte for byte, a character field that
// changes its length keeps its text when the text fits, and a memo moves to the new memo file
// as the bytes it is. Only fields of another type, and texts that do not fit, go through values
// and the rewrite's conversion, which refuses what would be lost.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/TableFormat.h"
#include "engine/dbase/DbfHeader.h"
#include "engine/dbase/FieldCodec.h"
#include "engine/dbase/RecordEncoder.h"

namespace kx4::dbase {

class DbaseTable;

class StoredRecordCopier {
  public:
    // Whether stored records of `from` can be copied into a table of `level` and `codePage`.
    static bool canCopy(const DbaseTable& from, DbfLevel level, int codePage);

    // `fields` are the new table's header fields, `visible` the header index of each of its
    // schema fields (the order of `source.fields`).
    StoredRecordCopier(DbaseTable& from, const std::vector<DbfField>& fields,
                       const std::vector<int>& visible, std::uint16_t recordLength,
                       const RecordSource& source, const EncodeContext& ctx);

    // The new record made of stored record `in` (number `stored` in the old file), the
    // `recordNo`th live record (from 1); its memos are still to be stored. Raises as the
    // conversion does, naming field and record.
    EncodedRecord& copy(const std::uint8_t* in, std::uint32_t stored, std::uint64_t recordNo);

  private:
    enum class Step { Copy, Resize, Memo, Convert };
    struct FieldStep {
        Step step;
        std::size_t schemaIndex;  // in the new table (the conversion's numbering)
        std::size_t to;           // header field of the new table
        int from;                 // header field of the old table, -1 for a new field
    };
    // Neighbouring fields copied as they are, in one piece.
    struct Run {
        std::size_t from, to, size;
    };

    bool copyMemo(const FieldStep& s, const std::uint8_t* in);
    bool resizeText(const FieldStep& s, const std::uint8_t* in);
    void convert(const FieldStep& s, const std::uint8_t* in, std::uint32_t stored,
                 std::uint64_t recordNo);

    DbaseTable& from_;
    std::string tablePath_;
    const std::vector<DbfField>& fields_;
    const RecordSource& source_;
    EncodeContext ctx_;
    std::vector<std::uint8_t> blankRecord_;  // every field blank that needs no numbering
    std::vector<Run> runs_;
    std::vector<FieldStep> others_;
    EncodedRecord out_;
};

}  // namespace kx4::dbase
