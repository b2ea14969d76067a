#include "engine/core/ExternalSort.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"

namespace kx4 {

namespace {

constexpr std::size_t kEntryHeader = 8;  // u32 key size, u32 payload size
constexpr std::size_t kRunBuffer = 256 * 1024;

std::atomic<unsigned> g_scratchCounter{0};

// Entry sizes in native byte order: batches and runs never leave this process.
std::uint32_t getSize(const void* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void putSize(void* p, std::uint32_t v) { std::memcpy(p, &v, sizeof v); }

std::string_view keyAt(const std::string& bytes, std::size_t offset) {
    return {bytes.data() + offset + kEntryHeader, getSize(bytes.data() + offset)};
}

std::string_view payloadAt(const std::string& bytes, std::size_t offset) {
    const char* p = bytes.data() + offset;
    return {p + kEntryHeader + getSize(p), getSize(p + 4)};
}

// The first eight key bytes as a big-endian number: comparing these decides most pairs.
std::uint64_t prefixOf(std::string_view key) {
    std::uint64_t p = 0;
    for (std::size_t i = 0; i < 8; ++i)
        p = p << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return p;
}

void appendEntry(std::string& out, std::string_view key, std::string_view payload) {
    char sizes[kEntryHeader];
    putSize(sizes, static_cast<std::uint32_t>(key.size()));
    putSize(sizes + 4, static_cast<std::uint32_t>(payload.size()));
    out.append(sizes, kEntryHeader);
    out.append(key);
    out.append(payload);
}

}  // namespace

// AES-256 in counter mode under a random key of this sorter: the keystream at a byte of a run
// depends on the run and the byte's position only, so runs are encrypted as they are written
// and decrypted as they are read back in buffers of any size.
class ExternalSorter::Cipher {
  public:
    Cipher() {
        if (RAND_bytes(key_, sizeof key_) != 1)
            throwEngineError(DBIERR_NOTSUPPORTED,
                             "No random key for the sort of a protected table");
    }
    ~Cipher() { OPENSSL_cleanse(key_, sizeof key_); }
    Cipher(const Cipher&) = delete;
    Cipher& operator=(const Cipher&) = delete;

    // Encrypts or decrypts (the same operation) `n` bytes at `offset` of run `run` in place.
    void apply(std::uint64_t run, std::uint64_t offset, char* data, std::size_t n) const {
        constexpr std::size_t kBlock = 16;
        unsigned char counter[kBlock];
        const std::uint64_t block = offset / kBlock;
        for (int i = 0; i < 8; ++i) {
            counter[i] = static_cast<unsigned char>(run >> (56 - 8 * i));
            counter[8 + i] = static_cast<unsigned char>(block >> (56 - 8 * i));
        }
        const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(
            EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
        unsigned char skipped[kBlock];
        int written = 0;
        bool ok = ctx &&
                  EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_ctr(), nullptr, key_, counter) == 1 &&
                  EVP_EncryptUpdate(ctx.get(), skipped, &written, skipped,
                                    static_cast<int>(offset % kBlock)) == 1;
        auto* bytes = reinterpret_cast<unsigned char*>(data);
        for (std::size_t done = 0; ok && done < n;) {
            const int chunk = static_cast<int>(std::min<std::size_t>(n - done, 1 << 30));
            ok = EVP_EncryptUpdate(ctx.get(), bytes + done, &written, bytes + done, chunk) == 1;
            done += static_cast<std::size_t>(chunk);
        }
        if (!ok)
            throwEngineError(DBIERR_NOTSUPPORTED, "Cannot encrypt the sort of a protected table");
    }

  private:
    unsigned char key_[32];
};

// A sorted run in a scratch file, written once and then read front to back.
struct ExternalSorter::Run {
    std::string path;
    std::unique_ptr<File> file;
    const Cipher* cipher = nullptr;
    std::uint64_t id = 0;  // selects the run's keystream
    std::uint64_t size = 0;
    std::uint64_t readPos = 0;
    std::string buffer;
    std::size_t bufferPos = 0;
    std::string key, payload;

    // Loads the next entry into key/payload; false at the end of the run.
    bool advance() {
        char sizes[kEntryHeader];
        if (!take(sizes, kEntryHeader)) return false;
        key.resize(getSize(sizes));
        payload.resize(getSize(sizes + 4));
        if (!take(key.data(), key.size()) || !take(payload.data(), payload.size()))
            throwCorrupt(path, "sort run ends inside an entry");
        return true;
    }

    // Writes an entry through `pending`, which is flushed when full and at the end.
    void put(std::string& pending, std::string_view k, std::string_view p) {
        appendEntry(pending, k, p);
        if (pending.size() >= kRunBuffer * 4) flush(pending);
    }

    void flush(std::string& pending) {
        if (cipher) cipher->apply(id, size, pending.data(), pending.size());
        file->writeAt(size, pending.data(), pending.size());
        size += pending.size();
        pending.clear();
    }

    bool take(void* out, std::size_t n) {
        auto* dst = static_cast<char*>(out);
        while (n > 0) {
            if (bufferPos == buffer.size()) {
                if (readPos >= size) return false;
                buffer.resize(
                    static_cast<std::size_t>(std::min<std::uint64_t>(kRunBuffer, size - readPos)));
                file->readAt(readPos, buffer.data(), buffer.size());
                if (cipher) cipher->apply(id, readPos, buffer.data(), buffer.size());
                readPos += buffer.size();
                bufferPos = 0;
            }
            const std::size_t chunk = std::min(n, buffer.size() - bufferPos);
            std::memcpy(dst, buffer.data() + bufferPos, chunk);
            bufferPos += chunk;
            dst += chunk;
            n -= chunk;
        }
        return true;
    }
};

ExternalSorter::ExternalSorter(FileSystem& fs, std::string scratchBase, std::size_t memoryBudget,
                               bool secret)
    : fs_(fs),
      scratchBase_(std::move(scratchBase)),
      budget_(std::max<std::size_t>(memoryBudget, 64 * 1024)),
      cipher_(secret ? std::make_unique<Cipher>() : nullptr) {}

ExternalSorter::~ExternalSorter() {
    for (auto& run : runs_) discard(*run);
}

void ExternalSorter::discard(Run& run) {
    run.file.reset();
    try {
        fs_.remove(run.path);
    } catch (...) {
        // The next recovery of the table removes what is left.
    }
}

void ExternalSorter::add(std::string_view key, std::string_view payload) {
    if (!adding_) throwEngineError(DBIERR_INVALIDPARAM, "Sorted entries are already being read");
    // The batch never outgrows what was reserved for it, so memory stays within the budget.
    const std::size_t entryBytes = kEntryHeader + key.size() + payload.size();
    if (!offsets_.empty() &&
        (batch_.size() + entryBytes > batch_.capacity() || offsets_.size() == offsets_.capacity()))
        spill();
    if (offsets_.empty()) {
        batch_.reserve(budget_ / 8 * 7);
        offsets_.reserve(budget_ / 8 / sizeof(Slot));
    }
    offsets_.push_back({prefixOf(key), static_cast<std::uint32_t>(batch_.size())});
    appendEntry(batch_, key, payload);
    ++count_;
}

void ExternalSorter::sortBatch() {
    // Equal keys keep the order they were added in: the offsets rise with it.
    std::sort(offsets_.begin(), offsets_.end(), [&](const Slot& a, const Slot& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const int c = keyAt(batch_, a.offset).compare(keyAt(batch_, b.offset));
        return c != 0 ? c < 0 : a.offset < b.offset;
    });
}

std::unique_ptr<ExternalSorter::Run> ExternalSorter::newRun() {
    auto run = std::make_unique<Run>();
    run->id = g_scratchCounter++;
    run->cipher = cipher_.get();
    run->path = FileTransaction::temporaryPath(scratchBase_, "sort" + std::to_string(run->id));
    run->file = createAfresh(fs_, run->path);
    return run;
}

void ExternalSorter::spill() {
    if (offsets_.empty()) return;
    sortBatch();
    auto run = newRun();
    std::string out;
    out.reserve(kRunBuffer * 4);
    for (const Slot& slot : offsets_)
        run->put(out, keyAt(batch_, slot.offset), payloadAt(batch_, slot.offset));
    run->flush(out);
    runs_.push_back(std::move(run));
    batch_.clear();
    batch_.shrink_to_fit();
    offsets_.clear();
    offsets_.shrink_to_fit();
}

// Each run being merged holds a read buffer; the budget decides how many are read at once.
std::size_t ExternalSorter::maxOpenRuns() const {
    return std::max<std::size_t>(2, budget_ / kRunBuffer);
}

// Order of the min-heaps of runs by their current entry; the earlier run wins ties, which keeps
// entries with equal keys in the order they were added.
bool ExternalSorter::laterRun(std::size_t a, std::size_t b) const {
    const int c = runs_[a]->key.compare(runs_[b]->key);
    return c != 0 ? c > 0 : a > b;
}

void ExternalSorter::mergeRuns(std::size_t first, std::size_t last, Run& out) {
    std::vector<std::size_t> heap;
    const auto later = [this](std::size_t a, std::size_t b) { return laterRun(a, b); };
    for (std::size_t i = first; i < last; ++i)
        if (runs_[i]->advance()) heap.push_back(i);
    std::make_heap(heap.begin(), heap.end(), later);
    std::string pending;
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), later);
        Run& run = *runs_[heap.back()];
        out.put(pending, run.key, run.payload);
        if (run.advance())
            std::push_heap(heap.begin(), heap.end(), later);
        else
            heap.pop_back();
    }
    out.flush(pending);
}

void ExternalSorter::finishAdding() {
    if (!adding_) return;
    adding_ = false;
    if (runs_.empty()) {
        sortBatch();
        return;
    }
    spill();
    // Too many runs to read at once: merge neighbouring groups into longer runs (in order, so
    // that equal keys keep the order they were added in) until few enough remain.
    const std::size_t fanIn = maxOpenRuns();
    while (runs_.size() > fanIn) {
        std::vector<std::unique_ptr<Run>> merged;
        for (std::size_t first = 0; first < runs_.size(); first += fanIn) {
            const std::size_t last = std::min(first + fanIn, runs_.size());
            auto run = newRun();
            mergeRuns(first, last, *run);
            for (std::size_t i = first; i < last; ++i) discard(*runs_[i]);
            merged.push_back(std::move(run));
        }
        runs_ = std::move(merged);
    }
    for (std::size_t i = 0; i < runs_.size(); ++i)
        if (runs_[i]->advance()) {
            heap_.push_back(i);
            std::push_heap(heap_.begin(), heap_.end(),
                           [this](std::size_t a, std::size_t b) { return laterRun(a, b); });
        }
}

bool ExternalSorter::next(std::string& key, std::string& payload) {
    if (adding_) finishAdding();
    if (runs_.empty()) {
        if (nextInBatch_ >= offsets_.size()) return false;
        const std::uint32_t offset = offsets_[nextInBatch_++].offset;
        key.assign(keyAt(batch_, offset));
        payload.assign(payloadAt(batch_, offset));
        return true;
    }
    if (heap_.empty()) return false;
    const auto later = [this](std::size_t a, std::size_t b) { return laterRun(a, b); };
    std::pop_heap(heap_.begin(), heap_.end(), later);
    Run& run = *runs_[heap_.back()];
    key.swap(run.key);
    payload.swap(run.payload);
    if (run.advance())
        std::push_heap(heap_.begin(), heap_.end(), later);
    else
        heap_.pop_back();
    return true;
}

}  // namespace kx4
