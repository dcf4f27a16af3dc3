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

}  // namespace cw::app::messages
