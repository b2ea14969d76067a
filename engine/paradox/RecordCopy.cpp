#include "engine/paradox/RecordCopy.h"

#include <cstring>

#include "engine/core/Errors.h"
#include "engine/paradox/FieldCodec.h"

namespace kx4::paradox {

namespace {

// Alpha text ends at its first NUL or with the field; the rest of the new field stays zero.
// False when the text is longer than the new field.
bool copyText(const std::uint8_t* in, int inSize, std::uint8_t* out, int outSize) {
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(in, 0, inSize));
    const int length = nul ? static_cast<int>(nul - in) : inSize;
    if (length > outSize) return false;
    std::memcpy(out, in, length);
    std::memset(out + length, 0, outSize - length);
    return true;
}

}  // namespace

RecordCopier::RecordCopier(const RecordCodec& from, const RecordCodec& to,
                           const RecordSource& source, BlobReader* blobsIn, BlobWriter* blobsOut,
                           std::string tableFile)
    : from_(from),
      to_(to),
      source_(source),
      blobsIn_(blobsIn),
      blobsOut_(blobsOut),
      tableFile_(std::move(tableFile)),
      values_(to.fields().size()) {
    for (std::size_t i = 0; i < to.fields().size(); ++i) {
        const int s = i < source.fields.size() ? source.fields[i] : -1;
        if (s < 0 || static_cast<std::size_t>(s) >= from.fields().size()) {
            steps_.push_back({Step::Blank, -1});
            continue;
        }
        const FieldInfo& a = from.fields()[s];
        const FieldInfo& b = to.fields()[i];
        Step step = Step::Convert;
        if (a == b)
            step = isBlobType(a.type) ? Step::Blob : Step::Copy;
        else if (a.type == pxAlpha && b.type == pxAlpha)
            step = Step::Resize;
        steps_.push_back({step, s});
    }
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        if (steps_[i].step != Step::Copy) {
            others_.push_back(i);
            continue;
        }
        const Run field{from_.offsetOf(steps_[i].source), to_.offsetOf(i),
                        static_cast<std::size_t>(storedSize(to_.fields()[i]))};
        Run* last = runs_.empty() ? nullptr : &runs_.back();
        if (last && last->from + last->size == field.from && last->to + last->size == field.to)
            last->size += field.size;
        else
            runs_.push_back(field);
    }
}

int RecordCopier::bytesFrom(std::size_t field) const {
    const FieldStep& s = steps_[field];
    return s.step == Step::Copy || s.step == Step::Resize ? s.source : -1;
}

void RecordCopier::copy(const std::uint8_t* in, std::uint8_t* out, std::uint64_t recordNo) {
    converted_.clear();
    for (const Run& r : runs_) std::memcpy(out + r.to, in + r.from, r.size);
    const auto& fields = to_.fields();
    for (std::size_t i : others_) {
        const FieldStep& s = steps_[i];
        const std::size_t size = storedSize(fields[i]);
        std::uint8_t* target = out + to_.offsetOf(i);
        const std::uint8_t* stored = s.source >= 0 ? in + from_.offsetOf(s.source) : nullptr;
        bool done = true;
        switch (s.step) {
            case Step::Blank:
                std::memset(target, 0, size);
                break;
            case Step::Copy:
                break;
            case Step::Resize:
                done = copyText(stored, storedSize(from_.fields()[s.source]), target,
                                static_cast<int>(size));
                break;
            case Step::Blob:
                done = copyBlob(stored, target, i);
                break;
            case Step::Convert:
                done = false;
                break;
        }
        if (!done) converted_.push_back(i);
    }
    // Every value is converted before any is stored, so the first field in the record that
    // does not fit is the one named.
    for (std::size_t i : converted_)
        values_[i] = source_.convert(from_.decodeField(in, steps_[i].source, blobsIn_, tableFile_),
                                     i, recordNo);
    for (std::size_t i : converted_) {
        try {
            to_.encodeField(values_[i], i, out, blobsOut_);
        } catch (const EDBEngineError& e) {
            source_.failedAt(e, recordNo);
        }
    }
}

// A value in the blob file goes to the new one as its stored bytes, behind the same leader.
// Blank values are blank; values held in the record alone, and any oddity, take the way
// through values.
bool RecordCopier::copyBlob(const std::uint8_t* in, std::uint8_t* out, std::size_t field) {
    const std::size_t size = storedSize(to_.fields()[field]);
    const std::size_t leader = size - kBlobPointerSize;
    const BlobPointer ptr = readBlobPointer(in + leader);
    if (ptr.length == 0) {
        std::memset(out, 0, size);
        return true;
    }
    if (ptr.offsetAndIndex == 0 || !blobsIn_ || !blobsOut_) return false;
    const Bytes stored = blobsIn_->read(ptr, from_.name(steps_[field].source));
    std::memcpy(out, in, leader);
    writeBlobPointer(out + leader, blobsOut_->write(stored));
    return true;
}

}  // namespace kx4::paradox
