// The binary MLG log format (header "MLVLG", format version 1) that the field's common log
// viewers open: a header with logger-field descriptors, then data blocks (a record with a
// counter, a time stamp and a check byte) and marker blocks. Numbers are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
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

// Memory for the columns of long logs: blocks of 1 MiB and more are mapped with their pages
// made present at once, which spares the thousands of page faults that fill a day of records.
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

struct LogSource;

// The columns of a log, by field. A column of a log read from a file comes from the file when it
// is first asked for, so opening a day does not wait for the channels nobody looks at; columns
// added later are held as given. Decoding on first use is not locked: one thread at a time.
class LogColumns {
public:
    std::size_t size() const { return slots_.size(); }
    bool empty() const { return slots_.empty(); }
    const Column& operator[](std::size_t i) const { return held(i); }
    Column& operator[](std::size_t i) { return held(i); }
    const Column& front() const { return held(0); }
    const Column& back() const { return held(size() - 1); }
    // New columns are empty; dropped ones are gone, also from the file's side.
    void resize(std::size_t n) { slots_.resize(n); }
    void push_back(Column c);
    void assign(std::size_t n, const Column& c);
    void clear() { slots_.clear(); }

    // Decodes the given columns in one pass over the records; those already held are skipped.
    void decode(const std::vector<std::size_t>& columns) const;
    // Whether column i is held in memory (decoded, or added as it is).
    bool decoded(std::size_t i) const { return !slots_[i].pending; }
    // The value of one record, read from the file when the column is not held.
    float value(std::size_t i, std::size_t record) const;

    template <class Owner, class Ref> class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Column;
        using difference_type = std::ptrdiff_t;
        using pointer = std::remove_reference_t<Ref>*;
        using reference = Ref;
        Iterator(Owner* owner, std::size_t i) : owner_(owner), i_(i) {}
        Ref operator*() const { return (*owner_)[i_]; }
        pointer operator->() const { return &(*owner_)[i_]; }
        Iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator==(const Iterator& o) const { return i_ == o.i_; }
        bool operator!=(const Iterator& o) const { return i_ != o.i_; }

    private:
        Owner* owner_;
        std::size_t i_;
    };
    using iterator = Iterator<LogColumns, Column&>;
    using const_iterator = Iterator<const LogColumns, const Column&>;
    iterator begin() { return {this, 0}; }
    iterator end() { return {this, size()}; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

private:
    friend struct LogSource;
    struct Slot {
        Column values;
        bool pending = false; // still in the file
    };
    Column& held(std::size_t i) const; // decoded first when still in the file
    mutable std::vector<Slot> slots_;
    std::shared_ptr<const LogSource> source_; // shared by copies of the log
};

// A log read into memory: one column of shown values per field, and the time of each record.
struct LogData {
    int formatVersion = 0;
    std::uint32_t unixTime = 0;
    std::string info;
    std::vector<LogField> fields;
    TimeColumn time;    // s, from the "Time" field or the block stamps
    LogColumns columns; // by field
    std::vector<LogMarker> markers;
    int timeField = -1;        // the "Time" field, whose values `time` holds in full precision
    std::size_t badBlocks = 0; // data blocks whose check byte did not match, left out
    bool truncated = false;    // the file ends inside a block
    std::size_t records() const { return time.size(); }
    int fieldIndex(const std::string& name) const; // -1 when absent
    // The shown value of a field at a record (Time in full precision), without decoding its
    // column.
    double value(std::size_t field, std::size_t record) const;
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
// block; anything that does not fit the format gives an error and no data. The log keeps a
// copy of the bytes for its columns: those of the fields named in decodeNow are decoded while
// the log is read, the others when asked for. Over 1 GiB is refused.
LogReadResult readMlg(const std::uint8_t* bytes, std::size_t size,
                      const std::vector<std::string>& decodeNow = {});
// Reads a log file; files that do not start like a log are refused before being read whole. The
// file stays open with the log, whose columns it holds until they are asked for.
LogReadResult readMlgFile(const std::string& path, const std::vector<std::string>& decodeNow = {});

// Largest log file that is opened (far beyond a day of recording).
constexpr std::uint64_t MaxLogFileSize = 1ull << 30;
// Most markers read from one log (a day with one every second holds 86,400); the blocks after
// them are taken as damage, so a file of marker-shaped bytes cannot fill the memory.
constexpr std::size_t MaxLogMarkers = 250000;

} // namespace velmora::log
