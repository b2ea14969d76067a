#include "engine/dbase/RecordEncoder.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Errors.h"

namespace kx4::dbase {

void encodeValue(const std::vector<DbfField>& fields, std::size_t index, const FieldValue& value,
                 const EncodeContext& ctx, EncodedRecord& out) {
    const DbfField& f = fields[index];
    if (isMemoField(f, ctx.level)) {
        if (auto payload = memoPayload(f, value, ctx))
            out.memos.emplace_back(index, std::move(*payload));
        writeMemoPointer(f, 0, out.bytes.data());
        return;
    }
    if (f.type != '+') {
        encodeField(f, value, out.bytes.data(), ctx);
        return;
    }
    FieldValue number = value;
    if (isBlank(number))
        number = static_cast<std::int64_t>(std::max<std::uint32_t>(f.autoIncNext, 1));
    if (const auto* d = std::get_if<double>(&number);
        d && *d == std::trunc(*d) && std::fabs(*d) < 3e9)
        number = static_cast<std::int64_t>(*d);
    encodeField(f, number, out.bytes.data(), ctx);  // accepts only integers in range
    const std::int64_t used = std::get<std::int64_t>(number);
    const std::uint32_t next = used > 0 ? static_cast<std::uint32_t>(used) + 1 : 1;
    out.autoIncNext.emplace_back(index, std::max(f.autoIncNext, next));
}

EncodedRecord encodeRecord(const std::vector<DbfField>& fields, const std::vector<int>& visible,
                           const Record& record, const EncodeContext& ctx,
                           std::uint16_t recordLength) {
    if (record.size() != visible.size())
        throwEngineError(DBIERR_INVALIDPARAM, "A record needs " + std::to_string(visible.size()) +
                                                  " values, not " + std::to_string(record.size()));
    EncodedRecord out;
    out.bytes.assign(recordLength, ' ');
    out.bytes[0] = kRecordLive;
    for (std::size_t i = 0; i < record.size(); ++i)
        encodeValue(fields, static_cast<std::size_t>(visible[i]), record[i], ctx, out);
    return out;
}

void storeMemos(EncodedRecord& record, const std::vector<DbfField>& fields, MemoFile& memo) {
    for (const auto& [index, data] : record.memos)
        writeMemoPointer(fields[index], memo.append(data), record.bytes.data());
}

}  // namespace kx4::dbase
