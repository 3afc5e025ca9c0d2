// A scripted control unit behind a fake port: it answers requests as the unit does, with faults
// to order, and lets a test put any bytes on the line.
#pragma once

#include "link/frame.h"
#include "link/link.h"
#include "link/port.h"
#include "model/calibration.h"
#include "model/clamp.h"
#include "model/defaults.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace velmora::testing {

// An image the way a unit holds it: identification "ABC07", " 5. 2.2002", "16:21", readable,
// format version 5, and a calibration that survives unpack, clamp and pack unchanged.
inline Image unitImage(std::uint8_t model = 3) {
    Calibration cal;
    cal[Klicovani] = model;
    setDefaultCalibration(cal);
    applyModelTable(cal);
    cal[Omez2] = static_cast<std::uint8_t>(cal[Omez2] - 2); // not the defaults the tool has
    clamp(cal);
    Image image{};
    pack(cal, image);
    const std::uint8_t block0[] = {'A', 'B', 'C', 7, 5, 13, 2, 16, 21, 1, 5};
    for (std::size_t i = 0; i < sizeof block0; ++i) image[i] = block0[i];
    image[15] = 0x77; // reserved bytes the tool must carry along untouched
    image[33] = 0x42;
    image[217] = 0x99;
    return image;
}

class FakePort : public FramePort {
public:
    std::deque<std::uint8_t> rx; // bytes waiting at the port
    std::vector<Frame> sent;
    std::function<void(const Frame&)> onWrite;
    bool open = true;

    bool isOpen() const override { return open; }
    std::size_t bytesWaiting() override { return rx.size(); }
    std::size_t read(std::uint8_t* dst, std::size_t max) override {
        std::size_t n = 0;
        while (n < max && !rx.empty()) {
            dst[n++] = rx.front();
            rx.pop_front();
        }
        return n;
    }
    void writeFrame(const Frame& frame) override {
        sent.push_back(frame);
        if (onWrite) onWrite(frame);
    }
    void close() override { open = false; }

    void put(const Frame& f) { rx.insert(rx.end(), f.begin(), f.end()); }
    void put(std::initializer_list<std::uint8_t> bytes) { rx.insert(rx.end(), bytes); }
};

// Answers each request by putting its reply on the port at once, so that the next poll finds
// it. Faults are set by the test.
class FakeUnit {
public:
    Image image = unitImage();
    bool silent = false;
    int wrongEchoBlock = -1; // echo this block with one byte changed
    std::vector<Frame> received;
    // Called with the reply before it goes on the line; may change or drop it (return false).
    std::function<bool(Frame&)> fault;

    explicit FakeUnit(FakePort& port) : port_(port) {
        port_.onWrite = [this](const Frame& f) { answer(f); };
    }

    Frame replyTo(const Frame& request) {
        const std::uint8_t k = request[0] & 0x3F;
        Frame reply{};
        reply[0] = request[0] ^ ReplyBit;
        const bool program = (request[0] & 0x40) == 0;
        if (program && k > 0) {
            for (std::size_t i = 0; i < BlockSize; ++i) image[k * BlockSize + i] = request[1 + i];
        }
        for (std::size_t i = 0; i < BlockSize; ++i) reply[1 + i] = image[k * BlockSize + i];
        if (program && static_cast<int>(k) == wrongEchoBlock) reply[7] ^= 0x01;
        reply[FrameSize - 1] = checkByte(reply);
        return reply;
    }

private:
    void answer(const Frame& request) {
        received.push_back(request);
        if (silent || !checkOk(request) || (request[0] & 0x3F) >= BlockCount) return;
        Frame reply = replyTo(request);
        if (fault && !fault(reply)) return;
        port_.put(reply);
    }

    FakePort& port_;
};

// A link on a fake port with the scripted unit behind it; each poll comes a tick after the last.
struct LinkOnFakePort {
    Calibration cal;
    Identification ident;
    Image image{};
    std::uint8_t language = 1;
    FakePort port;
    FakeUnit unit{port};
    Link link{cal, ident, image, language};
    std::uint64_t clock = 0;

    LinkOnFakePort() {
        link.setPort(&port);
        link.clockMs = [this] { return clock += 55; };
    }
};

} // namespace velmora::testing
