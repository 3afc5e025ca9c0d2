// The binary MLG log format (header "MLVLG", format version 1) that the field's common log
// viewers open: a header with logger-field descriptors, then data blocks (a record with a
// counter, a time stamp and a check byte) and marker blocks. Numbers are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "log/channels.h"

namespace velmora::log {

constexpr std::size_t MlgHeaderSize = 22;
constexpr std::size_t MlgFieldSize = 55;
constexpr std::size_t MlgFieldSizeV2 = 89;
constexpr std::size_t MlgNameSize = 34;
constexpr std::size_t MlgUnitsSize = 10;
constexpr std::size_t MlgMarkerTextSize = 50;
constexpr std::size_t MlgBlockHeaderSize = 4; // type, counter, time stamp (10 us units)
constexpr std::size_t MlgMarkerBlockSize = MlgBlockHeaderSize + MlgMarkerTextSize;

// The header and field descriptors of a log of channels(), with `info` as its info text.
std::string mlgHeader(std::uint32_t unixTime, const std::string& info);
// Appends a data block holding `record`; the counter is the block's running number.
void appendRecordBlock(std::string& out, std::uint8_t counter, const Record& record);
// Appends a marker block at timeMs; text longer than the block's 49 bytes is cut at a
// character boundary.
void appendMarkerBlock(std::string& out, std::uint8_t counter, std::uint32_t timeMs,
                       const std::string& text);
// The block time stamp of a log time: 10 us units, wrapping at 16 bits.
std::uint16_t blockTimestamp(std::uint32_t timeMs);

struct LogField {
    std::string name, units;
    std::uint8_t type = 0;
    std::uint8_t style = 0;
    float scale = 1.0f, transform = 0.0f;
    int digits = 0;
    // A computed channel's text; empty for a recorded channel. Computed fields follow the
    // recorded ones.
    std::string expression = {};
};

// Memory for the columns of long logs: blocks of 2 MiB and more are asked for as huge pages,
// which spares the hundreds of thousands of page faults that fill a day of records.
template <class T> struct BigAllocator {
    using value_type = T;
    BigAllocator() = default;
    template <class U> BigAllocator(const BigAllocator<U>&) {}
    T* allocate(std::size_t n);
    void deallocate(T* p, std::size_t n);
    template <class U> bool operator==(const BigAllocator<U>&) const { return true; }
    template <class U> bool operator!=(const BigAllocator<U>&) const { return false; }
};
void* allocateBig(std::size_t bytes);
void releaseBig(void* p, std::size_t bytes);
template <class T> T* BigAllocator<T>::allocate(std::size_t n) {
    return static_cast<T*>(allocateBig(n * sizeof(T)));
}
template <class T> void BigAllocator<T>::deallocate(T* p, std::size_t n) {
    releaseBig(p, n * sizeof(T));
}
using Column = std::vector<float, BigAllocator<float>>;
using TimeColumn = std::vector<double, BigAllocator<double>>;

struct LogMarker {
    double time = 0.0; // s
    std::string text;
};

// A log read into memory: one column of shown values per field, and the time of each record.
struct LogData {
    int formatVersion = 0;
    std::uint32_t unixTime = 0;
    std::string info;
    std::vector<LogField> fields;
    TimeColumn time;             // s, from the "Time" field or the block stamps
    std::vector<Column> columns; // by field
    std::vector<LogMarker> markers;
    int timeField = -1;        // the "Time" field, whose values `time` holds in full precision
    std::size_t badBlocks = 0; // data blocks whose check byte did not match, left out
    bool truncated = false;    // the file ends inside a block
    std::size_t records() const { return time.size(); }
    int fieldIndex(const std::string& name) const; // -1 when absent
};

// A stretch of a log by its time, both ends included, in seconds.
struct LogRange {
    double from = -std::numeric_limits<double>::infinity();
    double to = std::numeric_limits<double>::infinity();
    // Within it, only the records a filter keeps: by record, a value other than 0 and NaN.
    // None: every record. It must outlive the range.
    const std::vector<double>* kept = nullptr;
    bool contains(double t) const { return t >= from && t <= to; }
    bool keeps(std::size_t record, double t) const {
        if (!contains(t)) return false;
        if (kept == nullptr) return true;
        const double v = record < kept->size() ? (*kept)[record] : 0.0;
        return v != 0.0 && v == v;
    }
};

struct LogReadResult {
    bool ok = false;
    std::string error; // why the log cannot be read, in plain English
    LogData data;
};

// Reads a whole log held in memory. A log that ends inside a block reads up to its last whole
// block; anything that does not fit the format gives an error and no data.
LogReadResult readMlg(const std::uint8_t* bytes, std::size_t size);
// Reads a log file; files that do not start like a log are refused before being read whole.
LogReadResult readMlgFile(const std::string& path);

// Largest log file that is opened (far beyond a day of recording).
constexpr std::uint64_t MaxLogFileSize = 1ull << 30;

} // namespace velmora::log
