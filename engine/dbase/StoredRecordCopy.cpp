#include "engine/dbase/StoredRecordCopy.h"

#include <algorithm>
#include <cstring>

#include "engine/core/Errors.h"
#include "engine/dbase/DbaseTable.h"
#include "engine/dbase/MemoFile.h"

namespace kx4::dbase {

namespace {

bool sameStorage(const DbfField& a, const DbfField& b) {
    return a.type == b.type && a.length == b.length && a.decimals == b.decimals;
}

bool isPadding(const std::uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](std::uint8_t c) { return c == ' ' || c == 0; });
}

}  // namespace

bool StoredRecordCopier::canCopy(const DbaseTable& from, DbfLevel level, int codePage) {
    // Stored bytes mean the same only within one level and one code page.
    return from.header().level == level && level != DbfLevel::FoxPro &&
           from.codec().codePage() == codePage;
}

StoredRecordCopier::StoredRecordCopier(DbaseTable& from, const std::vector<DbfField>& fields,
                                       const std::vector<int>& visible, std::uint16_t recordLength,
                                       const RecordSource& source, const EncodeContext& ctx)
    : from_(from), tablePath_(from.path().full()), fields_(fields), source_(source), ctx_(ctx) {
    const auto& oldFields = from.header().fields;
    const auto& oldVisible = from.visibleFields();
    blankRecord_.assign(recordLength, ' ');
    blankRecord_[0] = kRecordLive;
    for (std::size_t i = 0; i < visible.size(); ++i) {
        const auto to = static_cast<std::size_t>(visible[i]);
        const DbfField& b = fields[to];
        const int s = i < source.fields.size() ? source.fields[i] : -1;
        const int from =
            s >= 0 && static_cast<std::size_t>(s) < oldVisible.size() ? oldVisible[s] : -1;
        if (from < 0 && b.type != '+') {
            if (!isMemoField(b, ctx.level)) encodeField(b, Blank{}, blankRecord_.data(), ctx);
            continue;  // a memo's blank pointer is spaces already
        }
        Step step = Step::Convert;
        if (from >= 0 && b.type != '+') {
            const DbfField& a = oldFields[static_cast<std::size_t>(from)];
            if (isMemoField(a, ctx.level) || isMemoField(b, ctx.level))
                step = a.type == b.type && isMemoField(a, ctx.level) && isMemoField(b, ctx.level)
                           ? Step::Memo
                           : Step::Convert;
            else if (sameStorage(a, b))
                step = Step::Copy;
            else if (a.type == 'C' && b.type == 'C')
                step = Step::Resize;
        }
        if (step != Step::Copy) {
            others_.push_back({step, i, to, from});
            continue;
        }
        const Run field{static_cast<std::size_t>(oldFields[static_cast<std::size_t>(from)].offset),
                        static_cast<std::size_t>(b.offset), static_cast<std::size_t>(b.length)};
        Run* last = runs_.empty() ? nullptr : &runs_.back();
        if (last && last->from + last->size == field.from && last->to + last->size == field.to)
            last->size += field.size;
        else
            runs_.push_back(field);
    }
}

EncodedRecord& StoredRecordCopier::copy(const std::uint8_t* in, std::uint32_t stored,
                                        std::uint64_t recordNo) {
    out_.bytes = blankRecord_;
    out_.memos.clear();
    out_.autoIncNext.clear();
    for (const Run& r : runs_) std::memcpy(out_.bytes.data() + r.to, in + r.from, r.size);
    for (const FieldStep& s : others_) {
        const bool done = s.step == Step::Memo     ? copyMemo(s, in)
                          : s.step == Step::Resize ? resizeText(s, in)
                                                   : false;
        if (!done) convert(s, in, stored, recordNo);
    }
    return out_;
}

// The memo's stored bytes, as the value path would keep them (a text memo without the NULs
// some writers end it with). False when the pointer needs the value path to report it.
bool StoredRecordCopier::copyMemo(const FieldStep& s, const std::uint8_t* in) {
    const DbfField& a = from_.header().fields[static_cast<std::size_t>(s.from)];
    bool valid = true;
    const std::uint32_t block = readMemoPointer(a, in, valid);
    if (!valid || (block != 0 && !from_.memo())) return false;
    if (block == 0) return true;
    Bytes data = from_.memo()->read(block);
    if (isTextMemo(a))
        while (!data.empty() && data.back() == 0) data.pop_back();
    if (data.empty()) return true;
    if (ctx_.level == DbfLevel::III &&
        std::find(data.begin(), data.end(), kEndOfFile) != data.end())
        return false;  // the value path refuses it, naming field and record
    out_.memos.emplace_back(s.to, std::move(data));
    return true;
}

bool StoredRecordCopier::resizeText(const FieldStep& s, const std::uint8_t* in) {
    const DbfField& a = from_.header().fields[static_cast<std::size_t>(s.from)];
    const DbfField& b = fields_[s.to];
    const auto kept = static_cast<std::size_t>(std::min(a.length, b.length));
    const std::uint8_t* text = in + a.offset;
    if (!isPadding(text + kept, static_cast<std::size_t>(a.length) - kept)) return false;
    std::memcpy(out_.bytes.data() + b.offset, text, kept);
    return true;  // the rest of a longer field stays blank
}

void StoredRecordCopier::convert(const FieldStep& s, const std::uint8_t* in, std::uint32_t stored,
                                 std::uint64_t recordNo) {
    FieldValue value = Blank{};
    if (s.from >= 0) {
        const DecodeContext decode{from_.codec(), from_.header().level, from_.memo(), tablePath_,
                                   stored,        from_.memoProblem()};
        value = source_.convert(
            decodeField(from_.header().fields[static_cast<std::size_t>(s.from)], in, decode),
            s.schemaIndex, recordNo);
    }
    try {
        encodeValue(fields_, s.to, value, ctx_, out_);
    } catch (const EDBEngineError& e) {
        source_.failedAt(e, recordNo);
    }
}

}  // namespace kx4::dbase
