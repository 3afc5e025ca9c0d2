#include "link/exchange.h"

#include <algorithm>

namespace velmora {

Exchange::Exchange(ExchangeHost& host, Image& image, const std::uint8_t& language)
    : host_(host), image_(image), language_(language) {}

void Exchange::showMessage(Message m) {
    if (const char* text = messageText(m, language_)) view_.messageText = text;
    view_.message = m;
    view_.messageColour = messageIsFailure(m) ? Colour::Red : Colour::BtnFace;
    MessageCountdown = MessageTicks;
    // A result that arrives after the countdown has hidden the label is shown again, so that
    // the end of a slow exchange, and above all its failure, is never silent.
    view_.messageVisible = true;
}

void Exchange::sendRequest() {
    AwaitingReply = true;
    TicksSinceSend = 0;
    Frame f{};
    f[0] = CommandByte;
    const std::size_t k = CommandByte & 0x3F;
    if (Operation != Read && k < BlockCount) {
        for (std::size_t i = 0; i < BlockSize; ++i) f[1 + i] = image_[k * BlockSize + i];
    }
    f[FrameSize - 1] = checkByte(f);
    host_.sendFrame(f);
}

void Exchange::begin(Op op, std::uint8_t command, Message m) {
    // A read goes on into its verify; any other start cuts the exchange in progress short.
    if (Operation != Idle && m != Message::VerifyAfterRead) {
        ExchangeEvent e = ended();
        e.result = ExchangeEvent::Result::Interrupted;
        events_.publish(e);
    }
    Operation = op;
    CommandByte = command;
    Attempt = 1;
    sendRequest();
    showMessage(m);
    ExchangeEvent e;
    e.op = op;
    events_.publish(e);
    view_.progressPosition = 0;
    // The verify that follows a read leaves the bar as the read left it: hidden when the
    // message countdown has run out during a slow read.
    if (m != Message::VerifyAfterRead) view_.progressVisible = true;
}

void Exchange::startRead() {
    begin(Read, ReadCommand, Message::ReadStarted);
    host_.clearFileName();
}

void Exchange::startVerifyRequest(Message m) {
    begin(Verify, ReadCommand + 1, m);
}

void Exchange::startVerify() {
    startVerifyRequest(Message::VerifyStarted);
}

void Exchange::startProgram() {
    begin(Program, ProgramCommand, Message::ProgramStarted);
}

bool Exchange::onFrame(const Frame& frame) {
    if (isMonitorCommand(frame[0])) {
        if (host_.monitorFrame(frame)) monitorFrameSeen();
        return false;
    }
    // A reply to an earlier request (a late duplicate after a re-send) is passed over.
    const bool ours = Operation != Idle && frame[0] == (CommandByte ^ ReplyBit) && checkOk(frame);
    handleReply(frame);
    return ours;
}

void Exchange::monitorFrameSeen() {
    NoMonitorTicks = 0;
    if (!view_.noConnectionVisible) return;
    view_.noConnectionVisible = false;
    ExchangeEvent e;
    e.kind = ExchangeEvent::Kind::Connected;
    events_.publish(e);
}

// The bar has ten steps while read and program accept eleven replies before the last: it stays
// full rather than starting over.
void Exchange::stepProgress() {
    if (view_.progressPosition < view_.progressMax) ++view_.progressPosition;
}

void Exchange::requestNext() {
    stepProgress();
    ++CommandByte;
    Attempt = 1;
    sendRequest();
}

void Exchange::finish(Message m) {
    showMessage(m);
    ExchangeEvent e = ended();
    e.message = m;
    Operation = Idle;
    AwaitingReply = false;
    switch (m) {
    case Message::NoReading:
        e.result = ExchangeEvent::Result::Refused;
        break;
    case Message::UnmatchedVersion:
        e.result = ExchangeEvent::Result::OtherVersion;
        break;
    case Message::ReadError:
    case Message::VerifyError:
    case Message::ProgramError:
        e.result = ExchangeEvent::Result::NoMatchingReply;
        break;
    default:
        break;
    }
    events_.publish(e);
}

ExchangeEvent Exchange::ended() const {
    ExchangeEvent e;
    e.kind = ExchangeEvent::Kind::Ended;
    e.op = static_cast<Op>(Operation);
    e.block = CommandByte & 0x3F;
    return e;
}

void Exchange::publishReply(const Frame& frame, std::size_t block) {
    ExchangeEvent e;
    e.kind = ExchangeEvent::Kind::Replied;
    e.op = static_cast<Op>(Operation);
    e.block = block;
    std::copy(frame.begin() + 1, frame.begin() + 1 + BlockSize, e.data.begin());
    events_.publish(e);
}

bool Exchange::dataEqualsBlock(const Frame& frame, std::size_t block) const {
    for (std::size_t i = 0; i < BlockSize; ++i) {
        if (frame[1 + i] != image_[block * BlockSize + i]) return false;
    }
    return true;
}

void Exchange::handleReply(const Frame& frame) {
    if (!checkOk(frame)) return;
    const std::size_t k = CommandByte & 0x3F;
    // Only blocks 0..11 are ever requested; anything else is not a reply of ours.
    if (Operation == Idle || k > LastBlock) return;
    if (frame[0] != (CommandByte ^ ReplyBit)) return;

    switch (Operation) {
    case Read:
        for (std::size_t i = 0; i < BlockSize; ++i) image_[k * BlockSize + i] = frame[1 + i];
        publishReply(frame, k);
        if (k == 0) {
            const bool refused = image_[ReadEnable] != 1;
            if (refused || image_[FormatVersion] != SupportedFormatVersion) {
                finish(refused ? Message::NoReading : Message::UnmatchedVersion);
                host_.showIdentification();
                return;
            }
        }
        if (k < LastBlock) {
            requestNext();
        } else {
            ExchangeEvent e = ended();
            e.image = image_; // the show packs the image again, clamped
            host_.refreshFromImage();
            events_.publish(e);
            startVerifyRequest(Message::VerifyAfterRead);
        }
        return;

    case Verify:
        publishReply(frame, k);
        if (!dataEqualsBlock(frame, k)) return;
        if (k < LastBlock) {
            requestNext();
        } else {
            view_.progressVisible = false;
            finish(Message::VerifyOk);
        }
        return;

    case Program:
        if (k == 0) {
            for (std::size_t i = 0; i < BlockSize; ++i) image_[i] = frame[1 + i];
            host_.refreshFromImage();
            publishReply(frame, k);
            if (image_[FormatVersion] != SupportedFormatVersion) {
                finish(Message::UnmatchedVersion);
                return;
            }
        } else {
            publishReply(frame, k);
            if (!dataEqualsBlock(frame, k)) return;
        }
        if (k < LastBlock) {
            requestNext();
        } else {
            view_.progressVisible = false;
            finish(Message::ProgramOk);
        }
        return;

    default:
        return;
    }
}

void Exchange::tick() {
    host_.receive();
    while (std::optional<Frame> f = host_.nextFrame()) {
        if (onFrame(*f)) break;
    }

    if (AwaitingReply) {
        ++TicksSinceSend;
        if (TicksSinceSend > TimeoutTicks) {
            if (Operation == Program || Operation == Verify || Operation == Read) {
                ++Attempt;
                if (Attempt <= MaxTransmissions) {
                    sendRequest();
                } else {
                    const Message m = Operation == Program  ? Message::ProgramError
                                      : Operation == Verify ? Message::VerifyError
                                                            : Message::ReadError;
                    finish(m);
                }
            }
        }
    }

    if (MessageCountdown > 0) {
        --MessageCountdown;
        if (MessageCountdown == 0) {
            view_.messageVisible = false;
            view_.progressVisible = false;
        }
    }

    ++NoMonitorTicks;
    if (NoMonitorTicks > NoMonitorLimit && !view_.noConnectionVisible) {
        view_.noConnectionVisible = true;
        ExchangeEvent e;
        e.kind = ExchangeEvent::Kind::ConnectionLost;
        events_.publish(e);
    }
}

} // namespace velmora
