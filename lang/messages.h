// The messages of the exchanges with the unit, shown in LabelHlaseni, in the three languages.
#pragma once

#include <cstdint>

namespace velmora {

enum class Message {
    ReadStarted,
    VerifyStarted,   // by the Verify command
    VerifyAfterRead, // the verify that follows a completed read
    ProgramStarted,
    NoReading,        // the unit refuses to be read
    UnmatchedVersion, // the unit's image has another format version
    VerifyOk,
    ProgramOk,
    ReadError,
    VerifyError,
    ProgramError,
};

// UTF-8 text of the message for language 0 Czech, 1 English, 2 German;
// nullptr for any other language, whose label text is then left as it was.
const char* messageText(Message m, std::uint8_t language);

// Failures are shown on red, everything else on the button-face colour.
bool messageIsFailure(Message m);

} // namespace velmora
