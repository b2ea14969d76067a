#include "engine/dbase/CarriedTagOrder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/core/Errors.h"
#include "engine/dbase/TagKeySorter.h"

namespace kx4::dbase {

namespace {

std::uint64_t mix(std::uint64_t x) {  // splitmix64's finaliser
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint64_t folded(std::uint64_t a, std::uint64_t b) {  // the 128-bit product's halves
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

std::uint64_t word(const std::uint8_t* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// A key's hash, sixteen bytes to a multiplication: it runs twice for every entry of every
// carried tag, where a general string hash cost a fifth of an ALTER TABLE.
std::uint64_t keyHash(const KeyBytes& key) {
    constexpr std::uint64_t kOne = 0xA0761D6478BD642Full, kTwo = 0xE7037ED1A0B428DBull;
    const std::uint8_t* p = key.data();
    std::size_t n = key.size();
    std::uint64_t h = mix(n);
    for (; n >= 16; p += 16, n -= 16) h = folded(word(p) ^ kOne ^ h, word(p + 8) ^ kTwo);
    std::uint8_t tail[16] = {};
    std::memcpy(tail, p, n);
    return folded(word(tail) ^ kOne ^ h, word(tail + 8) ^ kTwo ^ n);
}

std::string normalised(const std::string& expression) {
    std::string out;
    for (char c : expression)
        if (c != ' ') out.push_back(static_cast<char>(toupper(static_cast<unsigned char>(c))));
    return out;
}

}  // namespace

void RecordRenumbering::add(bool kept) {
    if (stored_ % 64 == 0) {
        kept_.push_back(0);
        before_.push_back(keptCount_);
    }
    if (kept) {
        kept_.back() |= 1ull << (stored_ % 64);
        ++keptCount_;
    }
    ++stored_;
}

std::uint32_t RecordRenumbering::newNumber(std::uint32_t old) const {
    if (old == 0 || old > stored_) return 0;
    const std::uint32_t bit = old - 1;
    const std::uint64_t word = kept_[bit / 64];
    const std::uint64_t mask = 1ull << (bit % 64);
    if (!(word & mask)) return 0;
    return before_[bit / 64] + static_cast<std::uint32_t>(std::popcount(word & (mask - 1))) + 1;
}

void EntryDigest::add(const KeyBytes& key, std::uint32_t record) {
    sum_ += mix(keyHash(key) ^ mix(record));
    ++count_;
}

const MdxTag* carriableTag(const MdxFile& old, const MdxTagSpec& tag) {
    if (tag.unique) return nullptr;
    for (const MdxTag& t : old.tags())
        if (!t.unique && t.filter.empty() && t.keyType == tag.keyType &&
            t.keyLength == tag.keyLength && t.descending == tag.descending &&
            normalised(t.expression) == normalised(tag.expression))
            return &t;
    return nullptr;
}

CarriedTagEntries::CarriedTagEntries(MdxFile& old, const MdxTag& oldTag, const MdxTagSpec& tag,
                                     const RecordRenumbering& numbers, const EntryDigest& expected)
    : walk_(old.streamEntries(oldTag)), tag_(tag), numbers_(numbers), expected_(expected) {}

// The next old entry of a kept record, renumbered; false at the end of the old tag.
bool CarriedTagEntries::nextKept(IndexEntry& out) {
    try {
        while (walk_->next(out)) {
            out.record = numbers_.newNumber(out.record);
            if (out.record != 0) return true;
        }
        return false;
    } catch (const EDBEngineError&) {
        throw TagOrderLost{};  // a damaged old tag: the keys are sorted instead
    }
}

bool CarriedTagEntries::next(IndexEntry& out) {
    if (seen_.count() == expected_.count() || !nextKept(out)) throw TagOrderLost{};
    if (static_cast<int>(out.key.size()) != tag_.keyLength) throw TagOrderLost{};
    tagSortKey(tag_, out.key, sortKey_);
    const bool rises = seen_.count() == 0 || previousKey_ < sortKey_ ||
                       (previousKey_ == sortKey_ && previousRecord_ < out.record);
    if (!rises) throw TagOrderLost{};
    previousKey_.swap(sortKey_);
    previousRecord_ = out.record;
    seen_.add(out.key, out.record);
    return true;
}

void CarriedTagEntries::confirm() {
    IndexEntry extra;
    if (nextKept(extra) || !(seen_ == expected_)) throw TagOrderLost{};
}

}  // namespace kx4::dbase
