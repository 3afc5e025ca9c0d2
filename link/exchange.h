// The conversation with the unit: read (with its automatic verify), verify and program of the
// 240-byte image in twelve blocks, driven by the 55 ms timer, with time-outs, re-sends, the
// exchange message and the "No Connection" indicator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "lang/messages.h"
#include "link/colours.h"
#include "link/frame.h"
#include "link/stream.h"
#include "model/calibration.h"

namespace velmora {

// What the exchange needs from the window around it.
class ExchangeHost {
public:
    virtual ~ExchangeHost() = default;
    // Transmit one frame and return once it has left the port (or a bounded wait has passed).
    virtual void sendFrame(const Frame& frame) = 0;
    // Unpack the image into the working parameters, clamp, show, pack.
    virtual void refreshFromImage() = 0;
    // Rebuild the identification texts from image block 0 and show the window's values again;
    // the working parameters keep their values.
    virtual void showIdentification() = 0;
    // A read empties the caption of LabelFile2.
    virtual void clearFileName() {}
    // Reads what has arrived at the port; its whole frames are then taken with nextFrame.
    virtual void receive() {}
    // The next whole frame received, in the order of arrival: a monitor frame or a reply, its
    // check byte good.
    virtual std::optional<Frame> nextFrame() { return std::nullopt; }
    // Decode a monitor frame (command byte 0xB0..0xBF); true when its check byte was good.
    virtual bool monitorFrame(const Frame&) { return false; }
};

// What LabelHlaseni, ProgressBar1 and LabelSpojeni show; the window only renders it.
struct ExchangeView {
    std::string messageText; // UTF-8
    Colour messageColour = Colour::BtnFace;
    bool messageVisible = false;
    std::optional<Message> message; // the last message set, whatever the language

    int progressPosition = 0;
    int progressMax = 10;
    bool progressVisible = false;

    std::string noConnectionText = "No Connection";
    bool noConnectionVisible = true;
};

struct ExchangeEvent;

class Exchange {
public:
    // The values of Operation.
    enum Op : std::uint8_t { Idle = 0, Program = 1, Verify = 2, Read = 3 };

    static constexpr std::uint8_t MessageTicks = 200;
    static constexpr std::uint8_t TimeoutTicks = 3; // a request times out when above this
    static constexpr std::uint8_t MaxTransmissions = 5;
    static constexpr std::uint8_t NoMonitorLimit = 40;
    static constexpr std::uint8_t LastBlock = 11;

    // The exchange works on `image` and reads `language` whenever it shows a message.
    Exchange(ExchangeHost& host, Image& image, const std::uint8_t& language);

    // MenuReadClick: request block 0 for reading. Does not take the controls.
    void startRead();
    // MenuVerifyClick without its first step: the caller has already taken the controls,
    // clamped, shown and packed, so the image holds what the window shows.
    void startVerify();
    // MenuProgramClick without its first step (see startVerify); also the start of a program
    // exchange from the after-change step.
    void startProgram();

    // One frame from the port: a monitor frame goes to the host's decoder, anything else is a
    // reply. Only the 22 bytes of the frame are looked at. True when it was the reply to the
    // request in progress, which ends what a tick takes from the port.
    bool onFrame(const Frame& frame);
    // HandleReply: a frame that is not a monitor frame.
    void handleReply(const Frame& frame);
    // A valid monitor frame arrived: reset the connection counter, hide "No Connection".
    void monitorFrameSeen();

    // Timer1Timer, in this order: poll, time-out and re-send, message countdown, connection
    // counter. The poll decodes every monitor frame that has arrived, in order, up to and
    // including the first reply to the request in progress; frames after that reply wait for
    // the next tick, so an exchange still takes at most one reply per tick.
    void tick();

    // Puts a message into LabelHlaseni and shows it for MessageTicks ticks. With a language
    // outside 0..2 the text is left as it was; colour and countdown change all the same.
    void showMessage(Message m);
    // Printing puts its own stamp in LabelHlaseni and restarts the countdown through this.
    void restartMessageCountdown() { MessageCountdown = MessageTicks; }

    const ExchangeView& view() const { return view_; }
    ExchangeView& view() { return view_; }
    bool busy() const { return Operation != Idle; }

    // What happens in the exchange, as it happens: for the undo history, the snapshots and
    // whatever else follows what the unit holds.
    Stream<ExchangeEvent>& events() { return events_; }

    // The exchange state, public so that the window and tests can read it as it stands.
    std::uint8_t Operation = Idle;
    bool AwaitingReply = false;
    std::uint8_t TicksSinceSend = 0;
    std::uint8_t Attempt = 0;
    std::uint8_t CommandByte = 0;
    std::uint8_t MessageCountdown = 0;
    std::uint8_t NoMonitorTicks = 0;

private:
    // Sets up the first request of an exchange, sends it and shows its start message.
    void begin(Op op, std::uint8_t command, Message m);
    void sendRequest();
    void requestNext();
    void finish(Message m);
    void stepProgress();
    void startVerifyRequest(Message m);
    bool dataEqualsBlock(const Frame& frame, std::size_t block) const;
    void publishReply(const Frame& frame, std::size_t block);
    // The end of the exchange in progress, with its operation and block; succeeded unless told.
    ExchangeEvent ended() const;

    ExchangeHost& host_;
    Image& image_;
    const std::uint8_t& language_;
    ExchangeView view_;
    Stream<ExchangeEvent> events_;
};

struct ExchangeEvent {
    enum class Kind : std::uint8_t {
        Started,        // the first request of a read, verify or program has gone out
        Replied,        // the reply to the request in progress came, whatever its data
        Ended,          // the exchange is over, with its result
        ConnectionLost, // "No Connection" shows: no valid monitor frame for a while
        Connected,      // a valid monitor frame came while "No Connection" showed
    };
    enum class Result : std::uint8_t {
        Succeeded,       // a read shown (its verify follows), a verify or program that agreed
        Refused,         // the unit does not allow reading
        OtherVersion,    // the unit's format version is not the one this program knows
        NoMatchingReply, // the re-sends ran out: no reply, or replies with other data
        Interrupted,     // another exchange was started before this one ended
    };

    Kind kind = Kind::Started;
    Exchange::Op op = Exchange::Idle;           // Started, Replied and Ended
    std::size_t block = 0;                      // Replied: its block; Ended: the block in progress
    std::array<std::uint8_t, BlockSize> data{}; // Replied: what the unit sent
    Result result = Result::Succeeded;          // Ended
    std::optional<Message> message;             // Ended: what the exchange says of it
    Image image{}; // Ended of a read that succeeded: the image as the unit sent it
};

} // namespace velmora
