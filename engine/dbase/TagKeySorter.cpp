#include "engine/dbase/TagKeySorter.h"

#include <algorithm>
#include <bit>

#include "engine/dbase/ByteOrder.h"

namespace kx4::dbase {

namespace {

constexpr std::uint64_t kSignBit = 1ull << 63;
constexpr std::size_t kMinSortMemoryPerTag = 256 << 10;

// A double as eight bytes whose unsigned order is the number's order (both zeros alike).
void appendOrderedDouble(std::string& out, double value) {
    if (value == 0) value = 0;
    std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    bits = (bits & kSignBit) ? ~bits : bits | kSignBit;
    for (int shift = 56; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((bits >> shift) & 0xFF));
}

void complement(std::string& bytes) {
    for (auto& c : bytes) c = static_cast<char>(~static_cast<unsigned char>(c));
}

}  // namespace

std::size_t sortMemoryPerTag(std::size_t tags) {
    return std::max(kSortMemory / std::max<std::size_t>(tags, 1), kMinSortMemoryPerTag);
}

TagKeySorter::TagKeySorter(FileSystem& fs, const MdxTagSpec& tag, const std::string& scratchBase,
                           std::size_t memoryBudget)
    : fs_(fs),
      tag_(tag),
      scratchBase_(scratchBase),
      budget_(memoryBudget),
      sorter_(fs, scratchBase, memoryBudget) {}

// The external sort compares bytes: character keys are their own order; numbers and dates
// compare as the values compareKeys decodes. A descending tag sorts the complement, and equal
// keys stay in record order either way.
void tagSortKey(const MdxTagSpec& tag, const KeyBytes& key, std::string& out) {
    out.clear();
    if (tag.keyType == KeyType::Character) {
        out.append(key.begin(), key.end());
    } else {
        appendOrderedDouble(out, tag.keyType == KeyType::Numeric ? decodeNumericKey(key.data())
                                                                 : decodeDoubleKey(key.data()));
    }
    if (tag.descending) complement(out);
}

// Payload: the record number (4), then for numbers and dates the key as stored.
void TagKeySorter::add(const KeyBytes& key, std::uint32_t record) {
    std::uint8_t number[4];
    putLe32(number, record);
    payload_.assign(reinterpret_cast<const char*>(number), sizeof number);
    if (tag_.keyType != KeyType::Character) payload_.append(key.begin(), key.end());
    tagSortKey(tag_, key, sortKey_);
    sorter_.add(sortKey_, payload_);
}

bool TagKeySorter::next(IndexEntry& out) {
    if (tag_.unique && !distinct_) count();
    ExternalSorter& source = distinct_ ? *distinct_ : sorter_;
    if (!source.next(key_, payload_)) return false;
    out.record = getLe32(reinterpret_cast<const std::uint8_t*>(payload_.data()));
    if (tag_.keyType == KeyType::Character) {
        if (tag_.descending) complement(key_);
        out.key.assign(key_.begin(), key_.end());
    } else {
        out.key.assign(payload_.begin() + 4, payload_.end());
    }
    return true;
}

std::uint64_t TagKeySorter::count() {
    if (!tag_.unique) return sorter_.size();
    if (distinct_) return distinct_->size();
    auto distinct = std::make_unique<ExternalSorter>(fs_, scratchBase_, budget_);
    while (sorter_.next(key_, payload_)) {
        if (hasPrevious_ && key_ == previous_) continue;
        previous_ = key_;
        hasPrevious_ = true;
        distinct->add(key_, payload_);
    }
    distinct_ = std::move(distinct);
    return distinct_->size();
}

}  // namespace kx4::dbase
