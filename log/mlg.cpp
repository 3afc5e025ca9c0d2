#include "log/mlg.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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
constexpr std::size_t HugePage = 2u << 20;
}

void* allocateBig(std::size_t bytes) {
    if (bytes < HugePage) return ::operator new(bytes);
    const std::size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;
    void* p = std::aligned_alloc(HugePage, rounded);
    if (p == nullptr) throw std::bad_alloc();
    (void)::madvise(p, rounded, MADV_HUGEPAGE);
    return p;
}

void releaseBig(void* p, std::size_t bytes) {
    if (bytes < HugePage)
        ::operator delete(p);
    else
        std::free(p);
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

LogReadResult readMlg(const std::uint8_t* b, std::size_t size) {
    if (size < 8 || std::memcmp(b, "MLVLG", 5) != 0)
        return failure("This is not an MLG log: it does not start with \"MLVLG\".");
    const auto version = static_cast<int>(get(b + 6, 2));
    if (version != 1 && version != 2)
        return failure("MLG format version " + std::to_string(version) +
                       " is not supported (1 and 2 are).");
    const std::size_t headerSize = version == 1 ? MlgHeaderSize : MlgHeaderSize + 2;
    const std::size_t fieldSize = version == 1 ? MlgFieldSize : MlgFieldSizeV2;
    if (size < headerSize) return failure("The log ends inside its header.");
    const std::uint8_t* p = b + 12;
    const std::size_t infoStart = version == 1 ? get(p, 2) : get(p, 4);
    p += version == 1 ? 2 : 4;
    const std::size_t dataBegin = get(p, 4);
    const std::size_t declaredLength = get(p + 4, 2);
    const std::size_t fieldCount = get(p + 6, 2);
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
    d.unixTime = static_cast<std::uint32_t>(get(b + 8, 4));
    std::size_t recordLength = 0;
    for (std::size_t i = 0; i < fieldCount; ++i) {
        const std::uint8_t* f = b + headerSize + i * fieldSize;
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
        recordLength += typeSize(field.type);
        d.fields.push_back(std::move(field));
    }
    if (declaredLength != recordLength)
        return failure("The log's record length (" + std::to_string(declaredLength) +
                       ") does not match its fields (" + std::to_string(recordLength) + ").");
    if (infoStart >= fieldsEnd && infoStart < dataBegin)
        d.info = textOf(b + infoStart, dataBegin - infoStart);

    const int timeField = d.fieldIndex("Time");
    d.timeField = timeField;
    // Per field: where it sits in a record, how it is stored and its scale, worked out once.
    struct Decoder {
        std::size_t offset;
        std::uint8_t type;
        double transform, scale;
    };
    std::vector<Decoder> decoders(fieldCount);
    for (std::size_t i = 0, at = 0; i < fieldCount; ++i) {
        const LogField& f = d.fields[i];
        decoders[i] = {at, f.type, f.transform, exactScale(f.scale)};
        at += typeSize(f.type);
    }
    const auto decode = [](const Decoder& dec, const std::uint8_t* rec) {
        const std::uint8_t* p = rec + dec.offset;
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
        default:
            raw = valueOf(dec.type, p);
            break;
        }
        return (raw + dec.transform) * dec.scale;
    };
    const std::size_t blockSize = MlgBlockHeaderSize + recordLength + 1;
    // The blocks are counted first by hopping from header to header, so that the columns are
    // sized once to what the file holds: a file of junk behind a header costs nothing.
    std::size_t blocks = 0;
    for (std::size_t at = dataBegin; at < size;) {
        if (b[at] == 0 && size - at >= blockSize) {
            ++blocks;
            at += blockSize;
        } else if (b[at] == 1 && size - at >= MlgMarkerBlockSize) {
            at += MlgMarkerBlockSize;
        } else {
            break;
        }
    }
    d.time.resize(blocks);
    d.columns.resize(fieldCount);
    for (auto& c : d.columns) c.resize(blocks);
    std::size_t records = 0;

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
        const std::uint8_t type = b[at];
        if (type == 0) {
            if (left < blockSize) {
                d.truncated = true;
                break;
            }
            const std::uint8_t* rec = b + at + MlgBlockHeaderSize;
            std::uint8_t sum = 0;
            for (std::size_t i = 0; i < recordLength; ++i) sum += rec[i];
            const auto stamp = static_cast<std::uint16_t>(get(b + at + 2, 2));
            at += blockSize;
            if (sum != rec[recordLength]) {
                ++d.badBlocks;
                continue;
            }
            advanceStamp(stamp);
            for (std::size_t i = 0; i < fieldCount; ++i)
                d.columns[i][records] = static_cast<float>(decode(decoders[i], rec));
            d.time[records] = timeField >= 0
                                  ? decode(decoders[static_cast<std::size_t>(timeField)], rec)
                                  : stampTime;
            ++records;
        } else if (type == 1) {
            if (left < MlgMarkerBlockSize) {
                d.truncated = true;
                break;
            }
            const auto stamp = static_cast<std::uint16_t>(get(b + at + 2, 2));
            const double before = stampTime;
            advanceStamp(stamp);
            LogMarker m;
            m.time = records == 0 ? stampTime : d.time[records - 1] + (stampTime - before);
            m.text = textOf(b + at + MlgBlockHeaderSize, MlgMarkerTextSize);
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
    d.time.resize(records);
    for (auto& c : d.columns) c.resize(records);
    r.ok = true;
    return r;
}

LogReadResult readMlgFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return failure("The log " + path + " cannot be opened: " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failure("The log " + path + " is not a plain file.");
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    // The magic first, so that a large file of anything else is never read whole.
    std::uint8_t head[8] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    if (n < 0 || static_cast<std::size_t>(n) < 5 || std::memcmp(head, "MLVLG", 5) != 0) {
        ::close(fd);
        return failure("The file " + path +
                       " is not an MLG log: it does not start with \"MLVLG\".");
    }
    if (size > MaxLogFileSize) {
        ::close(fd);
        return failure("The log " + path + " is larger than 1 GiB and is not opened.");
    }
    // Mapped rather than copied: the page cache is read in place.
    const auto length = static_cast<std::size_t>(size);
    // Pages come in as the reader reaches them, so that a log damaged early costs nothing more.
    void* map = length == 0 ? MAP_FAILED : ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED)
        return failure("The log " + path + " cannot be read: " + std::strerror(errno));
    (void)::madvise(map, length, MADV_SEQUENTIAL);
    LogReadResult r = readMlg(static_cast<const std::uint8_t*>(map), length);
    ::munmap(map, length);
    if (!r.ok) r.error = path + ": " + r.error;
    return r;
}

} // namespace velmora::log
