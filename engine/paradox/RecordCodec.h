#pragma once
// Whole records: fixed-size fields through FieldCodec, memo and blob fields through the leader
// in the record and the .MB file.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/Value.h"
#include "engine/paradox/BlobFile.h"
#include "engine/paradox/ParadoxHeader.h"

namespace kx4 {
class TextCodec;
}

namespace kx4::paradox {

class RecordCodec {
  public:
    RecordCodec(std::vector<FieldInfo> fields, std::vector<std::string> names,
                std::shared_ptr<const TextCodec> codec);

    std::size_t recordSize() const { return recordSize_; }
    const std::vector<FieldInfo>& fields() const { return fields_; }
    std::size_t offsetOf(std::size_t field) const { return offsets_[field]; }
    bool hasBlobs() const;
    const TextCodec& text() const { return *codec_; }

    // `blobs` may be null when the table has no .MB; a value that needs it then raises.
    void decode(const std::uint8_t* record, Record& out, BlobReader* blobs,
                const std::string& tableFile) const;
    // `blobs` may be null for tables without blob fields.
    void encode(const Record& record, std::uint8_t* out, BlobWriter* blobs) const;
    // One field of a record.
    FieldValue decodeField(const std::uint8_t* record, std::size_t i, BlobReader* blobs,
                           const std::string& tableFile) const;
    void encodeField(const FieldValue& value, std::size_t i, std::uint8_t* record,
                     BlobWriter* blobs) const;
    const std::string& name(std::size_t i) const { return names_[i]; }

  private:
    FieldValue decodeBlob(std::size_t i, const std::uint8_t* p, BlobReader* blobs,
                          const std::string& tableFile) const;
    void encodeBlob(std::size_t i, const FieldValue& v, std::uint8_t* p, BlobWriter* blobs) const;

    std::vector<FieldInfo> fields_;
    std::vector<std::string> names_;
    std::shared_ptr<const TextCodec> codec_;
    std::vector<std::size_t> offsets_;
    std::size_t recordSize_ = 0;
};

}  // namespace kx4::paradox
