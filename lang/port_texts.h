// Texts of the port settings dialog, the Com menu additions, the reasons a port did not open
// and the reconnection notices, in Czech, English and German.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::lang {

enum class PortText {
    MenuCaption, // "Port settings…"
    MenuHint,
    DialogTitle,
    SlotsHeading,
    SlotColumn,
    DeviceColumn,
    StateColumn,
    Present,
    Missing,
    DevicesHeading,
    DescriptionColumn,
    ManufacturerColumn,
    SerialColumn,
    UsbIdColumn,
    ByIdColumn,
    NoDevices,
    Refresh,
    PathLabel,
    ChosenSlot,
    Ok,
    Cancel,
    // Why a typed path is refused.
    PathEmpty,
    PathTooLong,
    PathControlCharacter,
    PathNotAbsolute,
    PathMissing,
    PathDirectory,
    PathRegularFile,
    PathNotSerial,
    SaveFailed, // %1 file, %2 reason
    // Why an open failed: %1 the device.
    FailNotFound,          // %2 the adapters present
    FailNotFoundNone,      // no adapter present
    FailPermission,        // %2 group, %3 user
    FailPermissionRelogin, // %2 group, %3 user: a member, but not in this session yet
    FailInUseBy,           // %2 the program
    FailInUse,             // nobody named
    FailOther,             // %2 the system's text
    OfferSingleAdapter,    // %1 adapter
    CloseButton,
    // Status bar: %1 "COM1", %2 the device.
    Lost,
    Reconnected,
    // The wide-band lambda controller's port in the dialog.
    WidebandHeading,
    WidebandPathLabel, // empty: none
    WidebandNone,      // placeholder of the empty path
    WidebandFromList,  // takes the device selected in the list
    WidebandProtocolLabel,
    ProtocolAutomatic,
    ProtocolMts,
    ProtocolAem,
    ProtocolPlm,
    ProtocolNumberPerLine,
    StoichLabel,
    StoichRefused, // %1 the text typed, %2 lowest, %3 highest
    ShowAfr,
    WidebandOpenFailed, // %1 the reason line
    WidebandSameAsUnit, // %1 the device
    // The status field of the wide-band lambda controller.
    WbWarmingUp,
    WbCalibrating,
    WbSensorError,
    WbInvalid,
    WbNoReading,
    WbSearching,
    WbCannotOpen,
    WbLost,
    WbReopened,
    WbHint,
    Count
};

// UTF-8 text for language 0 Czech, 1 English, 2 German; English for any other language.
std::string_view portText(PortText t, std::uint8_t language);

// The text with %1, %2 ... replaced by args in order.
std::string portText(PortText t, std::uint8_t language, const std::vector<std::string>& args);

} // namespace velmora::lang
