#pragma once
// Builds the records of a rewritten table from the stored records of the table it replaces.
// A field that keeps its storage is copied byte for byte, an alpha field that changes its
// length keeps its text when the text fits, and a blob moves to the new blob file as the bytes
// it is. Only fields of another type, and values that do not fit as they are, go through
// values and the rewrite's conversion, which refuses what would be lost.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/TableFormat.h"
#include "engine/paradox/BlobFile.h"
#include "engine/paradox/RecordCodec.h"

namespace kx4::paradox {

class RecordCopier {
  public:
    // `from` and `to` describe the records of the old and the new table; `blobsIn` and
    // `blobsOut` may be null when the table has no blob file.
    RecordCopier(const RecordCodec& from, const RecordCodec& to, const RecordSource& source,
                 BlobReader* blobsIn, BlobWriter* blobsOut, std::string tableFile);

    // Fills `out` (a record of the new table) from the stored record `in`, the `recordNo`th of
    // the old table (from 1). Raises as the conversion does, naming field and record.
    void copy(const std::uint8_t* in, std::uint8_t* out, std::uint64_t recordNo);

    // The old field whose stored bytes new field `field` carries (copied, or alpha text of
    // another length), so that its values keep their order; -1 for any other field.
    int bytesFrom(std::size_t field) const;

  private:
    enum class Step { Blank, Copy, Resize, Blob, Convert };
    struct FieldStep {
        Step step;
        int source;
    };

    bool copyBlob(const std::uint8_t* in, std::uint8_t* out, std::size_t field);

    // Neighbouring fields copied as they are, in one piece.
    struct Run {
        std::size_t from, to, size;
    };

    const RecordCodec& from_;
    const RecordCodec& to_;
    const RecordSource& source_;
    BlobReader* blobsIn_;
    BlobWriter* blobsOut_;
    std::string tableFile_;
    std::vector<FieldStep> steps_;
    std::vector<Run> runs_;               // the Copy steps
    std::vector<std::size_t> others_;     // the fields of every other step
    std::vector<std::size_t> converted_;  // fields of the current record that need conversion
    Record values_;
};

}  // namespace kx4::paradox
