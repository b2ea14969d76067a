#include "engine/paradox/RecordCodec.h"

#include <cstring>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/MemoSalvage.h"
#include "engine/core/TextCodec.h"
#include "engine/paradox/ByteOrder.h"
#include "engine/paradox/Companions.h"
#include "engine/paradox/FieldCodec.h"

namespace kx4::paradox {

namespace {

// Graphic and OLE values carry a prefix in the .MB: 01 00 00 kind, u32 payload length. Their
// value is the stored bytes, prefix included, as the original's export and the dBase driver's
// binary values give them; a value without the prefix gets one when it is stored.
constexpr std::size_t kPicturePrefix = 8;

bool hasPicturePrefix(std::uint8_t type) { return type == pxGraphic || type == pxOle; }

std::uint8_t prefixKind(std::uint8_t type) { return type == pxGraphic ? 1 : 2; }

Bytes withPrefix(std::uint8_t type, const Bytes& payload) {
    Bytes out(kPicturePrefix + payload.size());
    out[0] = 1;
    out[3] = prefixKind(type);
    putLe32(out.data() + 4, static_cast<std::uint32_t>(payload.size()));
    if (!payload.empty()) std::memcpy(out.data() + kPicturePrefix, payload.data(), payload.size());
    return out;
}

bool hasPrefix(const Bytes& data) {
    return data.size() >= kPicturePrefix && data[0] == 1 && data[1] == 0 && data[2] == 0 &&
           getLe32(data.data() + 4) == data.size() - kPicturePrefix;
}

}  // namespace

RecordCodec::RecordCodec(std::vector<FieldInfo> fields, std::vector<std::string> names,
                         std::shared_ptr<const TextCodec> codec)
    : fields_(std::move(fields)), names_(std::move(names)), codec_(std::move(codec)) {
    for (const auto& f : fields_) {
        offsets_.push_back(recordSize_);
        recordSize_ += storedSize(f);
    }
}

bool RecordCodec::hasBlobs() const {
    for (const auto& f : fields_)
        if (isBlobType(f.type)) return true;
    return false;
}

void RecordCodec::decode(const std::uint8_t* record, Record& out, BlobReader* blobs,
                         const std::string& tableFile) const {
    out.resize(fields_.size());
    for (std::size_t i = 0; i < fields_.size(); ++i)
        out[i] = decodeField(record, i, blobs, tableFile);
}

FieldValue RecordCodec::decodeField(const std::uint8_t* record, std::size_t i, BlobReader* blobs,
                                    const std::string& tableFile) const {
    const std::uint8_t* p = record + offsets_[i];
    return isBlobType(fields_[i].type) ? decodeBlob(i, p, blobs, tableFile)
                                       : decodeValue(fields_[i], p, *codec_);
}

FieldValue RecordCodec::decodeBlob(std::size_t i, const std::uint8_t* p, BlobReader* blobs,
                                   const std::string& tableFile) const {
    const FieldInfo& f = fields_[i];
    const std::size_t leader = f.size - kBlobPointerSize;
    const BlobPointer ptr = readBlobPointer(p + leader);
    if (ptr.length == 0) return Blank{};
    Bytes data;
    if (ptr.offsetAndIndex == 0) {
        if (ptr.length > leader)
            throwEngineError(DBIERR_BLOBCORRUPT, "Corrupt table " + tableFile + ": field " +
                                                     names_[i] + " has a blob of " +
                                                     std::to_string(ptr.length) +
                                                     " bytes without a place in the blob file");
        data.assign(p, p + ptr.length);
    } else {
        if (!blobs) {
            const std::string why =
                "its blob file " +
                newCompanionPath(TablePath{directoryOf(tableFile), fileNameOf(tableFile)}, ".MB") +
                " is missing";
            if (MemoSalvage::report(names_[i], why)) return Blank{};
            throwEngineError(DBIERR_BLOBCORRUPT,
                             "Cannot read field " + names_[i] + " of " + tableFile + ": " + why);
        }
        try {
            data = blobs->read(ptr, names_[i]);
        } catch (const EDBEngineError& e) {
            if (MemoSalvage::report(names_[i], e.what())) return Blank{};
            throw;
        }
    }
    switch (f.type) {
        case pxMemo:
            return textFromTable(
                std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), *codec_);
        default:
            return Blob{std::move(data)};
    }
}

void RecordCodec::encode(const Record& record, std::uint8_t* out, BlobWriter* blobs) const {
    if (record.size() != fields_.size())
        throwEngineError(DBIERR_INVALIDPARAM, "Record has " + std::to_string(record.size()) +
                                                  " values, the table has " +
                                                  std::to_string(fields_.size()) + " fields");
    for (std::size_t i = 0; i < fields_.size(); ++i) encodeField(record[i], i, out, blobs);
}

void RecordCodec::encodeField(const FieldValue& value, std::size_t i, std::uint8_t* record,
                              BlobWriter* blobs) const {
    std::uint8_t* p = record + offsets_[i];
    if (isBlobType(fields_[i].type))
        encodeBlob(i, value, p, blobs);
    else
        encodeValue(fields_[i], value, p, *codec_, names_[i]);
}

void RecordCodec::encodeBlob(std::size_t i, const FieldValue& v, std::uint8_t* p,
                             BlobWriter* blobs) const {
    const FieldInfo& f = fields_[i];
    const std::size_t leader = f.size - kBlobPointerSize;
    std::memset(p, 0, f.size);
    Bytes data;
    if (const auto* s = std::get_if<std::string>(&v)) {
        const std::string bytes = f.type == pxMemo ? tableText(*s, *codec_, names_[i]) : *s;
        data.assign(bytes.begin(), bytes.end());
    } else if (const auto* b = std::get_if<Blob>(&v)) {
        data = b->data;
    } else if (const auto* b = std::get_if<Bytes>(&v)) {
        data = *b;
    } else if (!isBlank(v)) {
        throwEngineError(DBIERR_INVALIDFLDXFORM, "Value of field " + names_[i] + " is not a blob");
    }
    if (data.empty()) return;
    const bool picture = hasPicturePrefix(f.type);
    const Bytes stored = picture && !hasPrefix(data) ? withPrefix(f.type, data) : data;
    // The leader repeats the first bytes of the value (of the payload for pictures).
    const std::size_t skipped = picture ? kPicturePrefix : 0;
    std::memcpy(p, stored.data() + skipped, std::min(leader, stored.size() - skipped));
    BlobPointer ptr{0, static_cast<std::uint32_t>(stored.size()), 0};
    if (stored.size() > leader || hasPicturePrefix(f.type)) {
        if (!blobs) throwEngineError(DBIERR_INVALIDPARAM, "No blob file for field " + names_[i]);
        ptr = blobs->write(stored);
    }
    writeBlobPointer(p + leader, ptr);
}

}  // namespace kx4::paradox
