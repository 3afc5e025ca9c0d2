#include "link/wideband_reader.h"

namespace velmora {

WidebandReader::WidebandReader(std::function<std::uint64_t()> clockMs)
    : clockMs_(std::move(clockMs)), reconnector_(port_) {
    port_.onReadable = [this] { readWaiting(); };
}

WidebandReader::~WidebandReader() {
    port_.onReadable = nullptr;
    port_.close();
}

void WidebandReader::restartParser() {
    parser_ = std::make_unique<WidebandParser>(protocol_, stoich_);
    port_.setBaudRate(parser_->baud());
    join_.clear();
    join_.setStoichAfr(stoich_);
    last_.reset();
}

OpenResult WidebandReader::open(const std::string& device, WidebandProtocol protocol,
                                double stoichAfr) {
    device_ = device;
    protocol_ = protocol;
    stoich_ = stoichAfr;
    restartParser();
    const OpenResult r = port_.openPath(device);
    reconnector_.poll(static_cast<std::int64_t>(clockMs_()));
    return r;
}

void WidebandReader::close() {
    device_.clear();
    port_.close();
    join_.clear();
    last_.reset();
    reconnector_.poll(static_cast<std::int64_t>(clockMs_()));
}

OpenFailure WidebandReader::openFailure(const std::vector<SerialDevice>& present) const {
    return describeOpenFailure(port_.path(), port_.openError(), port_.openErrorText(), present);
}

void WidebandReader::readWaiting() {
    if (!parser_ || !port_.isOpen()) return;
    const std::uint64_t now = clockMs_();
    buffer_.resize(4096);
    std::size_t total = 0;
    while (total < ReadLimit) {
        const std::size_t n = port_.read(buffer_.data(), buffer_.size());
        if (n == 0) break;
        total += n;
        bytes_.publish(WidebandBytes{
            now, {buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n)}});
        parsed_.clear();
        parser_->feed(buffer_.data(), n, now, parsed_);
        for (const WidebandReading& r : parsed_) {
            join_.add(r);
            last_ = r;
            readings_.publish(r);
        }
    }
}

Reconnector::Event WidebandReader::poll() {
    const std::uint64_t now = clockMs_();
    readWaiting();
    port_.bytesWaiting(); // finds a device that hung up
    if (parser_ && port_.isOpen() && parser_->tick(now)) port_.setBaudRate(parser_->baud());
    const Reconnector::Event e = reconnector_.poll(static_cast<std::int64_t>(now));
    if (e == Reconnector::Event::Lost) join_.clear();
    // Perhaps another controller: the parser starts afresh, at its first rate.
    if (e == Reconnector::Event::Reconnected) restartParser();
    return e;
}

void WidebandReader::join(EngineSample& sample) {
    if (sample.replayed) return;
    if (port_.isOpen()) port_.bytesWaiting(); // closes a port whose device hung up
    join_.setConnected(port_.isOpen());
    join_.join(sample);
}

} // namespace velmora
