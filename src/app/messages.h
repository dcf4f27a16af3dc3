#pragma once

#include <string_view>

// Every text the application's tools show: message boxes, log cells and result fields.
namespace cw::app::messages {

// SubCMD panel
inline constexpr std::string_view kSubCmdInputInvalid = "The Input SubCMD is invalid!";
// "The SubCMD of 0x" + the text as typed + one of the two endings.
inline constexpr std::string_view kSubCmdOf = "The SubCMD of 0x";
inline constexpr std::string_view kSubCmdInvalidEnd = " is invalid!";
inline constexpr std::string_view kSubCmdRefusedEnd = " can't be writed from here!";
inline constexpr std::string_view kResultNotApplicable = "N/A";
inline constexpr std::string_view kResultFail = "Fail";

// SHA-1 authentication
inline constexpr std::string_view kInvalidKey = "Please enter a valid 128 bit Key!";
inline constexpr std::string_view kInvalidChallenge = "Please enter a valid 20 bytes challenge!";
inline constexpr std::string_view kCommunicationError = "Communication Error!";
inline constexpr std::string_view kAuthenticationSucceeded =
    "Authentication successed. KT580714 returned value that matches the digest!";
inline constexpr std::string_view kAuthenticationFailed =
    "Authentication failed. KT580714 returned\n";
inline constexpr std::string_view kKeyChangeSucceeded = "Key change successed!";
inline constexpr std::string_view kKeyChangeFailed = "Key change failed. KT580714 returned\n";

// SMB access page
inline constexpr std::string_view kPecError = "PEC Error!";
inline constexpr std::string_view kInputDataError = "Input Data Error!";
// "Inhibit changing SubClassID = 0x" + the id as four hex digits + the ending.
inline constexpr std::string_view kInhibitSubclass = "Inhibit changing SubClassID = 0x";
inline constexpr std::string_view kInhibitSubclassEnd = " through Pro interface!";
inline constexpr std::string_view kBlockReadFailed = "00";

// Adapter notifications
inline constexpr std::string_view kAdapterArrived = "adapter arrived";
inline constexpr std::string_view kAdapterLeft = "adapter left";

// Main window
inline constexpr std::string_view kWindowTitle = "KT580714pc_V3.07_20230517";
inline constexpr std::string_view kSimulatedPack = "Simulated pack";
inline constexpr std::string_view kDfProgressZero = "DF Task Progress: 0%";
inline constexpr std::string_view kDfProgressRunning = "DF Task Progress: {}%";
inline constexpr std::string_view kDfProgressFull = "DF Task Progress: 100%";
inline constexpr std::string_view kSbsProgressZero = "SBS Task Progress: 0%";
inline constexpr std::string_view kSbsProgressRunning = "SBS Task Progress: {}%";
inline constexpr std::string_view kSbsProgressFull = "SBS Task Progress: 100%";
inline constexpr std::string_view kTaskCompleted = " Task Completed.";
inline constexpr std::string_view kLoggingRateRange =
    "Logging rate must be in range of 1 ~ 60 seconds!";
inline constexpr std::string_view kLoggingRateCaption = "Cellwarden";
inline constexpr std::string_view kAboutProgramLabel = "Program Version : ";
inline constexpr std::string_view kAboutDateLabel = "     Date : ";
inline constexpr std::string_view kAboutProgramDate = "2023/05/17";
inline constexpr std::string_view kAboutMcuLabel = "MCU Version :";
inline constexpr std::string_view kHelpDocument = "Cellwarden Tools Application Note.pdf";

// Calibration
inline constexpr std::string_view kCalibrationForbidden =
    "Calibration forbidden. Flash Operation Running!";
inline constexpr std::string_view kSystemBusy = "System Busy";
inline constexpr std::string_view kOffsetCalibrationOk = "Offset Calibration OK!";
inline constexpr std::string_view kCalibrationOk = "Calibration OK.";
inline constexpr std::string_view kCellVoltageError =
    "The Enter Actual Cell Voltage is error, please reenter!";
inline constexpr std::string_view kCellVoltageSumTooLow =
    "The Enter Actual Cell Voltage'sum is too low, please reenter!";
inline constexpr std::string_view kCurrentMustBeNegative =
    "The Enter Actual Current must be a negative value, please reenter!";
inline constexpr std::string_view kUsbTransferErrorDot = "USB Transfer Error.";
inline constexpr std::string_view kNotReadYet = "Err_Rd";

}  // namespace cw::app::messages
