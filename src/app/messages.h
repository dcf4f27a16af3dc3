#pragma once

#include <string_view>

// Every text the application's tools show: message boxes, log cells and result fields.
namespace cw::app::messages {

// SubCMD panel
inline constexpr std::string_view kSubCmdInputInvalid = "The Input SubCMD is invalid!";
// "The SubCMD of 0x" + the text as typed + one of the two endings.
inline constexpr std::string_view kSubCmdOf = "The SubCMD of 0x";
inline constexpr std::string_view kResultNotApplicable = "N/A";
inline constexpr std::string_view kResultFail = "Fail";
// What SEAL and the key words left the gauge in, when its answer does not say it plainly.
inline constexpr std::string_view kSealedAcknowledgementLost =
    "The gauge is sealed; its acknowledgement of SEAL was lost.";
// The key dialog's entry when it is not a key.
inline constexpr std::string_view kLockStateUnknown =
    "No valid Operation Status could be read: whether the gauge is still locked is unknown.";

// SHA-1 authentication
inline constexpr std::string_view kInvalidKey = "Please enter a valid 128 bit Key!";
inline constexpr std::string_view kCommunicationError = "Communication Error!";
inline constexpr std::string_view kAuthenticationSucceeded =
    "Authentication successed. KT580714 returned value that matches the digest!";
inline constexpr std::string_view kAuthenticationFailed =
    "Authentication failed. KT580714 returned\n";
inline constexpr std::string_view kKeyChangeSucceeded = "Key change successed!";
// The key change's own answer was lost; a challenge afterwards tells what the gauge holds.
inline constexpr std::string_view kKeyChangedAnswerLost =
    "The key was changed; the gauge's answer could not be read, but it now answers a challenge "
    "with the new key.";
inline constexpr std::string_view kKeyNotChanged =
    "The key was not changed: the gauge answers a challenge with another key.";
inline constexpr std::string_view kKeyChangeUnknown =
    "The gauge did not answer a challenge either: whether the key was changed is unknown.";

// SMB access page
inline constexpr std::string_view kPecError = "PEC Error!";
inline constexpr std::string_view kInputDataError = "Input Data Error!";
// Reads that failed and writes the gauge did not acknowledge, with what it holds now.
inline constexpr std::string_view kSmbWriteNotConfirmed =
    "The gauge did not confirm the write to 0x{:02X} ({}).";
inline constexpr std::string_view kSmbCannotReadBack =
    " It cannot be read back: whether the gauge took the write is unknown.";
inline constexpr std::string_view kSmbReadBackFailed =
    " Reading it back failed as well: whether the gauge took the write is unknown.";

// Why a transaction failed when the link status does not say it.
inline constexpr std::string_view kExchangeFailed = "the adapter exchange failed";

// The list of adapters: a HID device of the adapter's ids without its collections.

// Main window
inline constexpr std::string_view kWindowTitle = "KT580714pc_V3.07_20230517";
inline constexpr std::string_view kAboutDateLabel = "     Date : ";
inline constexpr std::string_view kAboutProgramDate = "2023/05/17";

// Calibration
inline constexpr std::string_view kCellVoltageError =
    "The Enter Actual Cell Voltage is error, please reenter!";
inline constexpr std::string_view kCellVoltageSumTooLow =
    "The Enter Actual Cell Voltage'sum is too low, please reenter!";
inline constexpr std::string_view kCurrentMustBeNegative =
    "The Enter Actual Current must be a negative value, please reenter!";
inline constexpr std::string_view kUsbTransferErrorDot = "USB Transfer Error.";

}  // namespace cw::app::messages
