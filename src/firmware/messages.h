#pragma once

#include <string_view>

// Every text the firmware and image tools show to the user, exactly as the product has always
// shown it.
namespace cw::firmware::messages {

// Loading and converting images.
inline constexpr std::string_view kBinFileError = "The bin file is error, please reload it!";
inline constexpr std::string_view kBinFileSizeError = "Bin File is Error, Please reload it!";

// Firmware window.
inline constexpr std::string_view kPleaseLoadBin = "Please Load Bin File !";
inline constexpr std::string_view kPleaseSetPath = "Please Set Bin File Path!";
inline constexpr std::string_view kCommunicationError = "Communication Error!";
inline constexpr std::string_view kSealedExport =
    "Can not export firmware when KT580714 is in seal mode!";
inline constexpr std::string_view kUpdateSuccess = "Update Successfully!";
inline constexpr std::string_view kExportSuccess = "Export Successfully!";
inline constexpr std::string_view kExportFail = "Export Fail!";
inline constexpr std::string_view kStatusUsbError = "USB Error!";
inline constexpr std::string_view kStatusErrorPrefix = "Error: ";
inline constexpr std::string_view kStatusPecError = "PEC Error!";
// The two jobs both drive the boot loader or its read-out path; one at a time.
inline constexpr std::string_view kExportRunning =
    "Firmware export is running, please wait until it finishes!";
inline constexpr std::string_view kUpdateRunning =
    "Firmware update is running, please wait until it finishes!";

// FS scripts and Convert Bin File.
inline constexpr std::string_view kPleaseLoadAfi = "Please Load AFI File firstly!";
inline constexpr std::string_view kPleaseLoadBinFirst = "Please Load Bin File firstly!";
inline constexpr std::string_view kAfiScriptSuccess = "Convert AFI File into FS File Success!";
inline constexpr std::string_view kBinScriptSuccess = "Convert Bin File into FS File Success!";
inline constexpr std::string_view kMergedScriptSuccess =
    "Convert AFI File and Bin File into FS File Success!";
inline constexpr std::string_view kNewBinSuccess = "Convert New Bin File Success!";
inline constexpr std::string_view kOpenFileError = "Open file error!";
// Used where the product used to end a conversion without a word.
inline constexpr std::string_view kCannotCreateFile = "Can not create the file: {}";
inline constexpr std::string_view kCannotReadFile = "Can not read the file: {}";

}  // namespace cw::firmware::messages

// The image commands of the command-line tool.
namespace cw::firmware::messages {
inline constexpr std::string_view kCodeImageSize = "The code image must be 65536 bytes: {}";
inline constexpr std::string_view kDataImageSize = "The data-area image must be 1024 bytes: {}";
}  // namespace cw::firmware::messages
