#include "engine/core/TableFormat.h"

#include "engine/core/Errors.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/Progress.h"

namespace kx4 {

std::string codePageOriginName(CodePageOrigin origin) {
    switch (origin) {
        case CodePageOrigin::Table:
            return "table";
        case CodePageOrigin::Setting:
            return "setting";
        case CodePageOrigin::Default:
            return "default";
    }
    return {};
}

// Defined here, beside the interface, so that every driver library links with the core alone
// (this is the class's key function: its vtable and type information live in this file).
void TableFormat::rebuildIndexes(TableFile& file, FileTransaction& tx) {
    if (file.info().seqNums != 1)
        throwEngineError(DBIERR_NOTSUPPORTED,
                         driverName() + " tables cannot rebuild their indexes alone");
    auto builder = build(file.path(), file.schema(), file.properties(), tx);
    auto cursor = file.scan();
    Record record;
    ProgressMeter meter(ProgressPhase::Records, file.info().recordCount);
    while (cursor->next(record)) {
        builder->append(record);
        meter.advance();
    }
    meter.finish();
    builder->finish();
}

std::unique_ptr<RecordReader> TableFile::readByPosition() {
    throwEngineError(DBIERR_NOTSUPPORTED, "Table " + path().full() + " cannot be read by position");
}

std::vector<std::uint32_t> TableFile::indexPositions(const std::string&) {
    throwEngineError(DBIERR_NOTSUPPORTED,
                     "Table " + path().full() + " cannot list its records in index order");
}

void RecordSource::failedAt(const EDBEngineError& e, std::uint64_t recordNo) const {
    throwEngineError(e.errorCode(), std::string(e.what()) + " (record " + std::to_string(recordNo) +
                                        "). The table " + table.path().fileName +
                                        " was not changed");
}

void TableBuilder::appendAll(const RecordSource& source) {
    auto cursor = source.table.scan();
    Record in, out(source.fields.size());
    std::uint64_t recordNo = 0;
    ProgressMeter meter(ProgressPhase::Records, source.table.info().recordCount);
    while (cursor->next(in)) {
        ++recordNo;
        meter.advance();
        for (std::size_t i = 0; i < source.fields.size(); ++i) {
            const int from = source.fields[i];
            if (from < 0 || static_cast<std::size_t>(from) >= in.size())
                out[i] = Blank{};
            else
                out[i] = source.convert(in[from], i, recordNo);
        }
        try {
            append(out);
        } catch (const EDBEngineError& e) {
            source.failedAt(e, recordNo);
        }
    }
    meter.finish();
}

}  // namespace kx4
