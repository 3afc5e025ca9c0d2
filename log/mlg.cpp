#include "log/mlg.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace velmora::log {

namespace {

void put8(std::string& out, std::uint8_t v) {
    out.push_back(static_cast<char>(v));
}
void put16(std::string& out, std::uint16_t v) {
    put8(out, static_cast<std::uint8_t>(v >> 8));
    put8(out, static_cast<std::uint8_t>(v));
}
void put32(std::string& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v >> 16));
    put16(out, static_cast<std::uint16_t>(v));
}
void putFloat(std::string& out, float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    put32(out, bits);
}
// A NUL-padded text field; one byte always stays NUL.
void putText(std::string& out, const std::string& text, std::size_t size) {
    std::size_t n = text.size() < size ? text.size() : size - 1;
    // Never cut inside a UTF-8 sequence.
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    out.append(text, 0, n);
    out.append(size - n, '\0');
}

std::uint64_t get(const std::uint8_t* p, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::string textOf(const std::uint8_t* p, std::size_t size) {
    std::size_t n = 0;
    while (n < size && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

// Size in bytes of a stored type, 0 for a type this reader does not know.
std::size_t typeSize(std::uint8_t t) {
    switch (t) {
    case 0:
    case 1:
    case 10:
        return 1;
    case 2:
    case 3:
    case 11:
        return 2;
    case 4:
    case 5:
    case 7:
    case 12:
        return 4;
    case 6:
        return 8;
    default:
        return 0;
    }
}

double valueOf(std::uint8_t type, const std::uint8_t* p) {
    const std::uint64_t raw = get(p, typeSize(type));
    switch (type) {
    case 1:
        return static_cast<std::int8_t>(raw);
    case 3:
        return static_cast<std::int16_t>(raw);
    case 5:
        return static_cast<std::int32_t>(raw);
    case 6:
        return static_cast<double>(static_cast<std::int64_t>(raw));
    case 7: {
        const std::uint32_t bits = static_cast<std::uint32_t>(raw);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    default:
        return static_cast<double>(raw);
    }
}

// Scales are stored as floats, in which 0.001 is not exact; a float that stands for a power of
// ten is taken as that power, so a day of milliseconds still reads to the millisecond.
double exactScale(float scale) {
    double p = 1.0;
    for (int k = 0; k < 10; ++k, p /= 10.0)
        if (scale == static_cast<float>(p)) return p;
    return scale;
}

LogReadResult failure(std::string why) {
    LogReadResult r;
    r.error = std::move(why);
    return r;
}

} // namespace

namespace {
constexpr std::size_t BigBlock = 1u << 20;
// Set while the reading pass reserves its columns for the most records the file could hold.
thread_local bool reservingOnly = false;

// Big blocks allocated while one is alive on this thread are address space only: their pages
// come as they are written, so a bound far beyond what a file holds costs no memory.
class AddressSpaceOnly {
public:
    AddressSpaceOnly() { reservingOnly = true; }
    AddressSpaceOnly(const AddressSpaceOnly&) = delete;
    AddressSpaceOnly& operator=(const AddressSpaceOnly&) = delete;
    ~AddressSpaceOnly() { reservingOnly = false; }
};
} // namespace

void* allocateBig(std::size_t bytes) {
    if (bytes < BigBlock) return ::operator new(bytes);
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS | (reservingOnly ? MAP_NORESERVE : MAP_POPULATE);
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return p;
}

void releaseBig(void* p, std::size_t bytes) {
    if (bytes < BigBlock)
        ::operator delete(p);
    else
        ::munmap(p, bytes);
}

std::uint16_t blockTimestamp(std::uint32_t timeMs) {
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(timeMs) * 100u);
}

std::string mlgHeader(std::uint32_t unixTime, const std::string& info) {
    const auto& table = channels();
    const std::size_t fieldsEnd = MlgHeaderSize + table.size() * MlgFieldSize;
    const std::size_t infoStart = fieldsEnd;
    const std::size_t dataBegin = infoStart + info.size() + 1;
    std::string out;
    out.reserve(dataBegin);
    out.append("MLVLG", 5);
    put8(out, 0);
    put16(out, 1);
    put32(out, unixTime);
    put16(out, static_cast<std::uint16_t>(infoStart));
    put32(out, static_cast<std::uint32_t>(dataBegin));
    put16(out, static_cast<std::uint16_t>(recordSize()));
    put16(out, static_cast<std::uint16_t>(table.size()));
    for (const Channel& c : table) {
        put8(out, static_cast<std::uint8_t>(c.type));
        putText(out, c.name, MlgNameSize);
        putText(out, c.units, MlgUnitsSize);
        put8(out, static_cast<std::uint8_t>(c.style));
        putFloat(out, c.scale);
        putFloat(out, 0.0f);
        put8(out, static_cast<std::uint8_t>(c.digits));
    }
    out.append(info);
    put8(out, 0);
    return out;
}

void appendRecordBlock(std::string& out, std::uint8_t counter, const Record& record) {
    put8(out, 0);
    put8(out, counter);
    put16(out, blockTimestamp(static_cast<std::uint32_t>(record[Time])));
    const std::size_t start = out.size();
    const auto& table = channels();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].type == FieldType::F32) {
            putFloat(out, static_cast<float>(record[i]));
            continue;
        }
        const auto v = static_cast<std::uint64_t>(static_cast<std::int64_t>(record[i]));
        switch (storedSize(table[i].type)) {
        case 1:
            put8(out, static_cast<std::uint8_t>(v));
            break;
        case 2:
            put16(out, static_cast<std::uint16_t>(v));
            break;
        default:
            put32(out, static_cast<std::uint32_t>(v));
            break;
        }
    }
    std::uint8_t sum = 0;
    for (std::size_t i = start; i < out.size(); ++i) sum += static_cast<std::uint8_t>(out[i]);
    put8(out, sum);
}

void appendMarkerBlock(std::string& out, std::uint8_t counter, std::uint32_t timeMs,
                       const std::string& text) {
    put8(out, 1);
    put8(out, counter);
    put16(out, blockTimestamp(timeMs));
    putText(out, text, MlgMarkerTextSize);
}

int LogData::fieldIndex(const std::string& name) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == name) return static_cast<int>(i);
    return -1;
}

// The bytes of a log behind its columns: a copy of a log handed over in memory, or the open
// file, read through a window so that neither a copy of the file nor its pages stay resident.
// Read, never mapped: a file cut short by another program while it is shown gives no values
// rather than a bus error.
struct LogSource {
    struct Decoder {
        std::size_t offset; // in the record
        std::uint8_t type;
        double transform, scale;
    };
    std::vector<std::uint8_t> bytes;
    int fd = -1;
    std::size_t size = 0;
    std::size_t recordLength = 0;
    std::vector<Decoder> decoders;                                   // by field
    std::vector<std::uint32_t, BigAllocator<std::uint32_t>> records; // where each record starts

    LogSource() = default;
    LogSource(const LogSource&) = delete;
    LogSource& operator=(const LogSource&) = delete;
    ~LogSource() {
        if (fd >= 0) ::close(fd);
    }
    static void attach(LogColumns& columns, std::shared_ptr<const LogSource> source) {
        columns.slots_.assign(source->decoders.size(), LogColumns::Slot{{}, true});
        columns.source_ = std::move(source);
    }
    static void held(LogColumns& columns, std::size_t i, Column values) {
        columns.slots_[i] = LogColumns::Slot{std::move(values), false};
    }
};

namespace {

// The bytes of a source for one pass over them. The file is mapped for the pass only, so its
// pages do not stay resident, and only as far as it still goes: a file cut short since it was
// read gives no values for the records it lost.
class Window {
public:
    explicit Window(const LogSource& source) {
        if (source.fd < 0) {
            base_ = source.bytes.data();
            length_ = source.size;
            return;
        }
        struct stat st {};
        if (::fstat(source.fd, &st) != 0) return;
        const std::size_t length = std::min(source.size, static_cast<std::size_t>(st.st_size));
        if (length == 0) return;
        void* map = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, source.fd, 0);
        if (map == MAP_FAILED) return;
        (void)::madvise(map, length, MADV_SEQUENTIAL);
        map_ = map;
        base_ = static_cast<const std::uint8_t*>(map);
        length_ = length;
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    ~Window() {
        if (map_ != nullptr) ::munmap(map_, length_);
    }
    // n bytes from `at`, or nullptr where the log ends before them.
    const std::uint8_t* get(std::size_t at, std::size_t n) const {
        return at <= length_ && n <= length_ - at ? base_ + at : nullptr;
    }
    // A pass is beyond `at`: the pages before it leave the process (they stay cached).
    void passed(std::size_t at) {
        if (at < released_) released_ = 0; // the next pass
        constexpr std::size_t step = 8u << 20;
        if (map_ == nullptr || at < released_ + step) return;
        const std::size_t upTo = at / step * step;
        (void)::madvise(static_cast<char*>(map_) + released_, upTo - released_, MADV_DONTNEED);
        released_ = upTo;
    }

private:
    std::size_t released_ = 0;
    void* map_ = nullptr;
    const std::uint8_t* base_ = nullptr;
    std::size_t length_ = 0;
};

std::string textAt(const Window& w, std::size_t at, std::size_t size) {
    std::string out;
    while (size > 0) {
        const std::size_t n = std::min<std::size_t>(size, 1u << 16);
        const std::uint8_t* p = w.get(at, n);
        if (p == nullptr) break;
        const std::string part = textOf(p, n);
        out += part;
        if (part.size() < n) break;
        at += n;
        size -= n;
    }
    return out;
}

// The shown value of a field whose bytes start at p.
double shownValue(const LogSource::Decoder& dec, const std::uint8_t* p) {
    double raw;
    switch (dec.type) {
    case 0:
    case 10:
        raw = p[0];
        break;
    case 1:
        raw = static_cast<std::int8_t>(p[0]);
        break;
    case 2:
    case 11:
        raw = (p[0] << 8) | p[1];
        break;
    case 3:
        raw = static_cast<std::int16_t>((p[0] << 8) | p[1]);
        break;
    case 4:
        raw = get32(p);
        break;
    default:
        raw = valueOf(dec.type, p);
        break;
    }
    return (raw + dec.transform) * dec.scale;
}

// The sum of n bytes modulo 256, eight at a time in 16-bit lanes, folded before they can carry.
std::uint8_t byteSum(const std::uint8_t* p, std::size_t n) {
    constexpr std::uint64_t low = 0x00FF00FF00FF00FFull;
    std::uint64_t lanes = 0;
    std::size_t i = 0;
    for (std::size_t words = 0; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, sizeof w);
        lanes += (w & low) + ((w >> 8) & low);
        if (++words == 120) {
            lanes &= low;
            words = 0;
        }
    }
    auto sum = static_cast<std::uint8_t>((lanes * 0x0001000100010001ull) >> 48);
    for (; i < n; ++i) sum = static_cast<std::uint8_t>(sum + p[i]);
    return sum;
}

// Records decoded at a time, one field after the other: the stored type is looked at once per
// run and the run's records stay in the cache.
constexpr std::size_t DecodeRun = 4096;

// Decodes one field of n records (nullptr: a record the file no longer holds, no value).
template <class Raw>
void decodeRun(const LogSource::Decoder& dec, const std::uint8_t* const* records, std::size_t n,
               float* out, Raw raw) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] =
            records[i] == nullptr
                ? std::numeric_limits<float>::quiet_NaN()
                : static_cast<float>((raw(records[i] + dec.offset) + dec.transform) * dec.scale);
}

void decodeRun(const LogSource::Decoder& dec, const std::uint8_t* const* records, std::size_t n,
               float* out) {
    switch (dec.type) {
    case 0:
    case 10:
        return decodeRun(dec, records, n, out, [](const std::uint8_t* p) { return double(p[0]); });
    case 1:
        return decodeRun(dec, records, n, out, [](const std::uint8_t* p) {
            return double(static_cast<std::int8_t>(p[0]));
        });
    case 2:
    case 11:
        return decodeRun(dec, records, n, out,
                         [](const std::uint8_t* p) { return double((p[0] << 8) | p[1]); });
    case 3:
        return decodeRun(dec, records, n, out, [](const std::uint8_t* p) {
            return double(static_cast<std::int16_t>((p[0] << 8) | p[1]));
        });
    case 4:
        return decodeRun(dec, records, n, out,
                         [](const std::uint8_t* p) { return double(get32(p)); });
    case 5:
        return decodeRun(dec, records, n, out, [](const std::uint8_t* p) {
            return double(static_cast<std::int32_t>(get32(p)));
        });
    case 7:
        return decodeRun(dec, records, n, out, [](const std::uint8_t* p) {
            const std::uint32_t bits = get32(p);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return double(f);
        });
    default: {
        const std::uint8_t type = dec.type;
        return decodeRun(dec, records, n, out,
                         [type](const std::uint8_t* p) { return valueOf(type, p); });
    }
    }
}

// Decodes the runs of records a reading pass hands over into their columns, on a second core
// while the pass goes on; the runs come in order, each DecodeRun records after the last.
class RunDecoder {
public:
    // The columns grow run by run within the room reserved for them, on that core: the kernel
    // clears their pages there as they are first written.
    RunDecoder(const LogSource& src, const std::vector<std::size_t>& fields,
               std::vector<Column>& out)
        : src_(src), fields_(fields), out_(out) {
        if (fields_.empty()) return;
        worker_ = std::thread([this] { work(); });
    }
    RunDecoder(const RunDecoder&) = delete;
    RunDecoder& operator=(const RunDecoder&) = delete;
    ~RunDecoder() { finish(); }
    void add(std::vector<const std::uint8_t*> run, std::size_t start) {
        if (fields_.empty()) return;
        {
            // A few runs ahead at most: the file's pages behind the pass are let go only
            // once decoded, so a lagging decode would hold them.
            std::unique_lock<std::mutex> lock(mutex_);
            taken_.wait(lock, [this] { return runs_.size() < MaxAhead; });
            runs_.emplace_back(std::move(run), start);
        }
        wake_.notify_one();
    }
    // Every run handed over is decoded.
    void finish() {
        if (!worker_.joinable()) return;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        worker_.join();
    }

private:
    void work() {
        for (;;) {
            std::pair<std::vector<const std::uint8_t*>, std::size_t> run;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return done_ || !runs_.empty(); });
                if (runs_.empty()) return;
                run = std::move(runs_.front());
                runs_.pop_front();
            }
            taken_.notify_one();
            for (std::size_t k = 0; k < fields_.size(); ++k) {
                out_[k].resize(run.second + run.first.size());
                decodeRun(src_.decoders[fields_[k]], run.first.data(), run.first.size(),
                          out_[k].data() + run.second);
            }
        }
    }
    const LogSource& src_;
    const std::vector<std::size_t>& fields_;
    std::vector<Column>& out_;
    std::mutex mutex_;
    static constexpr std::size_t MaxAhead = 8;
    std::condition_variable wake_, taken_;
    std::deque<std::pair<std::vector<const std::uint8_t*>, std::size_t>> runs_;
    bool done_ = false;
    std::thread worker_;
};

// Reads the header and hops over the blocks once: the time of each record and where it lies.
// The columns stay in the source until they are asked for.
LogReadResult readFrom(std::shared_ptr<LogSource> source,
                       const std::vector<std::string>& decodeNow) {
    LogSource& src = *source;
    const std::size_t size = src.size;
    Window w(src);
    const std::uint8_t* b = w.get(0, 8);
    if (b == nullptr || std::memcmp(b, "MLVLG", 5) != 0)
        return failure("This is not an MLG log: it does not start with \"MLVLG\".");
    const auto version = static_cast<int>(get(b + 6, 2));
    if (version != 1 && version != 2)
        return failure("MLG format version " + std::to_string(version) +
                       " is not supported (1 and 2 are).");
    const std::size_t headerSize = version == 1 ? MlgHeaderSize : MlgHeaderSize + 2;
    const std::size_t fieldSize = version == 1 ? MlgFieldSize : MlgFieldSizeV2;
    b = w.get(0, headerSize);
    if (b == nullptr) return failure("The log ends inside its header.");
    const std::uint8_t* p = b + 12;
    const std::size_t infoStart = version == 1 ? get(p, 2) : get(p, 4);
    p += version == 1 ? 2 : 4;
    const std::size_t dataBegin = get(p, 4);
    const std::size_t declaredLength = get(p + 4, 2);
    const std::size_t fieldCount = get(p + 6, 2);
    const auto unixTime = static_cast<std::uint32_t>(get(b + 8, 4));
    if (fieldCount == 0) return failure("The log has no fields.");
    const std::size_t fieldsEnd = headerSize + fieldCount * fieldSize;
    if (fieldsEnd > size)
        return failure("The log's " + std::to_string(fieldCount) +
                       " field descriptors run past the end of the file.");
    if (dataBegin < fieldsEnd || dataBegin > size)
        return failure("The log's data start points outside the file.");

    LogReadResult r;
    LogData& d = r.data;
    d.formatVersion = version;
    d.unixTime = unixTime;
    std::size_t recordLength = 0;
    for (std::size_t i = 0; i < fieldCount; ++i) {
        const std::uint8_t* f = w.get(headerSize + i * fieldSize, fieldSize);
        if (f == nullptr) return failure("The log ends inside its header.");
        LogField field;
        field.type = f[0];
        if (typeSize(field.type) == 0)
            return failure("Field " + std::to_string(i + 1) + " has an unknown type (" +
                           std::to_string(field.type) + ").");
        field.name = textOf(f + 1, MlgNameSize);
        field.units = textOf(f + 1 + MlgNameSize, MlgUnitsSize);
        const std::uint8_t* rest = f + 1 + MlgNameSize + MlgUnitsSize;
        field.style = rest[0];
        field.scale = static_cast<float>(valueOf(7, rest + 1));
        field.transform = static_cast<float>(valueOf(7, rest + 5));
        field.digits = static_cast<std::int8_t>(rest[9]);
        src.decoders.push_back(
            {recordLength, field.type, field.transform, exactScale(field.scale)});
        recordLength += typeSize(field.type);
        d.fields.push_back(std::move(field));
    }
    if (declaredLength != recordLength)
        return failure("The log's record length (" + std::to_string(declaredLength) +
                       ") does not match its fields (" + std::to_string(recordLength) + ").");
    if (infoStart >= fieldsEnd && infoStart < dataBegin)
        d.info = textAt(w, infoStart, dataBegin - infoStart);
    src.recordLength = recordLength;

    const int timeField = d.fieldIndex("Time");
    d.timeField = timeField;
    const std::size_t blockSize = MlgBlockHeaderSize + recordLength + 1;
    // One pass: the index is reserved for the most records the file's size leaves room for, as
    // address space whose pages come as they are written, so what becomes resident is what the
    // file holds and a file of junk behind a header costs nothing. Without the address space
    // (a system that counts it against memory) the index grows as it goes.
    const std::size_t bound = (size - dataBegin) / blockSize;
    std::size_t records = 0;
    // The columns asked for now come out of this same pass, a run of records at a time.
    std::vector<std::size_t> now;
    for (const std::string& name : decodeNow) {
        const int f = d.fieldIndex(name);
        if (f >= 0 && std::find(now.begin(), now.end(), static_cast<std::size_t>(f)) == now.end())
            now.push_back(static_cast<std::size_t>(f));
    }
    std::vector<Column> early(now.size());
    try {
        const AddressSpaceOnly reserve;
        d.time.reserve(bound);
        src.records.reserve(bound);
        for (Column& c : early) c.reserve(bound);
    } catch (const std::bad_alloc&) {
    }
    RunDecoder second(src, now, early);
    std::vector<const std::uint8_t*> run;
    std::size_t runStart = 0;
    const auto decodeEarly = [&] {
        if (run.empty()) return;
        const std::size_t n = run.size();
        second.add(std::move(run), runStart);
        runStart += n;
        run.clear();
        run.reserve(DecodeRun);
    };

    double stampTime = 0.0; // time counted from the block stamps
    std::uint16_t lastStamp = 0;
    bool haveStamp = false;
    const auto advanceStamp = [&](std::uint16_t stamp) {
        if (haveStamp) stampTime += static_cast<std::uint16_t>(stamp - lastStamp) * 1e-5;
        lastStamp = stamp;
        haveStamp = true;
    };
    std::size_t at = dataBegin;
    while (at < size) {
        const std::size_t left = size - at;
        const std::uint8_t* type = w.get(at, 1);
        if (type == nullptr) {
            d.truncated = true;
            break;
        }
        if (*type == 0) {
            const std::uint8_t* block = left < blockSize ? nullptr : w.get(at, blockSize);
            if (block == nullptr) {
                d.truncated = true;
                break;
            }
            const std::uint8_t* rec = block + MlgBlockHeaderSize;
            const auto stamp = static_cast<std::uint16_t>(get(block + 2, 2));
            const std::size_t recordAt = at + MlgBlockHeaderSize;
            at += blockSize;
            if (byteSum(rec, recordLength) != rec[recordLength]) {
                ++d.badBlocks;
                continue;
            }
            advanceStamp(stamp);
            const std::size_t t = static_cast<std::size_t>(timeField);
            d.time.push_back(timeField >= 0
                                 ? shownValue(src.decoders[t], rec + src.decoders[t].offset)
                                 : stampTime);
            src.records.push_back(static_cast<std::uint32_t>(recordAt));
            ++records;
            if (!now.empty()) {
                run.push_back(rec);
                if (run.size() == DecodeRun) decodeEarly();
            }
            w.passed(at);
        } else if (*type == 1 && d.markers.size() == MaxLogMarkers) {
            d.truncated = true;
            if (records == 0)
                return failure("The log holds no records: more than " +
                               std::to_string(MaxLogMarkers) + " markers from byte " +
                               std::to_string(dataBegin) + " on.");
            break;
        } else if (*type == 1) {
            const std::uint8_t* block =
                left < MlgMarkerBlockSize ? nullptr : w.get(at, MlgMarkerBlockSize);
            if (block == nullptr) {
                d.truncated = true;
                break;
            }
            const auto stamp = static_cast<std::uint16_t>(get(block + 2, 2));
            const double before = stampTime;
            advanceStamp(stamp);
            LogMarker m;
            m.time = records == 0 ? stampTime : d.time[records - 1] + (stampTime - before);
            m.text = textOf(block + MlgBlockHeaderSize, MlgMarkerTextSize);
            d.markers.push_back(std::move(m));
            at += MlgMarkerBlockSize;
        } else {
            // Not a block: the rest of the file is damage, not data.
            d.truncated = true;
            if (records == 0 && d.markers.empty())
                return failure("The log holds no records: its data is damaged from byte " +
                               std::to_string(at) + " on.");
            break;
        }
    }
    decodeEarly();
    second.finish();
    LogSource::attach(d.columns, std::move(source));
    for (std::size_t k = 0; k < now.size(); ++k) {
        early[k].resize(records);
        LogSource::held(d.columns, now[k], std::move(early[k]));
    }
    r.ok = true;
    return r;
}

} // namespace

Column& LogColumns::held(std::size_t i) const {
    if (slots_[i].pending) decode({i});
    return slots_[i].values;
}

void LogColumns::push_back(Column c) {
    slots_.push_back(Slot{std::move(c), false});
}

void LogColumns::assign(std::size_t n, const Column& c) {
    slots_.assign(n, Slot{c, false});
}

void LogColumns::decode(const std::vector<std::size_t>& columns) const {
    std::vector<std::size_t> todo;
    for (const std::size_t c : columns)
        if (c < slots_.size() && slots_[c].pending &&
            std::find(todo.begin(), todo.end(), c) == todo.end())
            todo.push_back(c);
    if (todo.empty()) return;
    const LogSource& src = *source_;
    const std::size_t records = src.records.size();
    std::vector<float*> out;
    for (const std::size_t c : todo) {
        slots_[c].values.resize(records);
        out.push_back(slots_[c].values.data());
    }
    std::vector<const std::uint8_t*> run(std::min(DecodeRun, records));
    Window w(src);
    for (std::size_t first = 0; first < records; first += DecodeRun) {
        const std::size_t n = std::min(DecodeRun, records - first);
        for (std::size_t i = 0; i < n; ++i)
            run[i] = w.get(src.records[first + i], src.recordLength);
        for (std::size_t k = 0; k < todo.size(); ++k)
            decodeRun(src.decoders[todo[k]], run.data(), n, out[k] + first);
        w.passed(src.records[first]);
    }
    for (const std::size_t c : todo) slots_[c].pending = false;
}

float LogColumns::value(std::size_t i, std::size_t record) const {
    const Slot& s = slots_[i];
    if (!s.pending) return s.values[record];
    const LogSource& src = *source_;
    const LogSource::Decoder& dec = src.decoders[i];
    const std::size_t at = src.records[record] + dec.offset, n = typeSize(dec.type);
    std::uint8_t bytes[8];
    bool read = false;
    if (src.fd < 0) {
        read = at + n <= src.size;
        if (read) std::memcpy(bytes, src.bytes.data() + at, n);
    } else {
        read = ::pread(src.fd, bytes, n, static_cast<off_t>(at)) == static_cast<ssize_t>(n);
    }
    return read ? static_cast<float>(shownValue(dec, bytes))
                : std::numeric_limits<float>::quiet_NaN();
}

double LogData::value(std::size_t field, std::size_t record) const {
    return static_cast<int>(field) == timeField ? time[record] : columns.value(field, record);
}

LogReadResult readMlg(const std::uint8_t* bytes, std::size_t size,
                      const std::vector<std::string>& decodeNow) {
    if (size > MaxLogFileSize) return failure("The log is larger than 1 GiB and is not opened.");
    auto source = std::make_shared<LogSource>();
    source->bytes.assign(bytes, bytes + size);
    source->size = size;
    return readFrom(std::move(source), decodeNow);
}

LogReadResult readMlgFile(const std::string& path, const std::vector<std::string>& decodeNow) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return failure("The log " + path + " cannot be opened: " + std::strerror(errno));
    auto source = std::make_shared<LogSource>();
    source->fd = fd; // closed with the last copy of the log
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return failure("The log " + path + " is not a plain file.");
    const auto size = static_cast<std::uint64_t>(st.st_size);
    // The magic first, so that a large file of anything else is never read.
    std::uint8_t head[8] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    if (n < 0 || static_cast<std::size_t>(n) < 5 || std::memcmp(head, "MLVLG", 5) != 0)
        return failure("The file " + path +
                       " is not an MLG log: it does not start with \"MLVLG\".");
    if (size > MaxLogFileSize)
        return failure("The log " + path + " is larger than 1 GiB and is not opened.");
    source->size = static_cast<std::size_t>(size);
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    LogReadResult r = readFrom(std::move(source), decodeNow);
    if (!r.ok) r.error = path + ": " + r.error;
    return r;
}

} // namespace velmora::log
