#pragma once

#include <string_view>

// What the window shows in its bars, banners and tooltips.
namespace cw::presentation::messages {

inline constexpr std::string_view kDfProgressZero = "DF Task Progress: 0%";
inline constexpr std::string_view kDfProgressRunning = "DF Task Progress: {}%";
inline constexpr std::string_view kDfProgressFull = "DF Task Progress: 100%";
inline constexpr std::string_view kSbsProgressZero = "SBS Task Progress: 0%";
inline constexpr std::string_view kSbsProgressRunning = "SBS Task Progress: {}%";
inline constexpr std::string_view kSbsProgressFull = "SBS Task Progress: 100%";
inline constexpr std::string_view kTaskCompleted = " Task Completed.";
inline constexpr std::string_view kLoggingRateRange =
    "Logging rate must be in range of 1 ~ 60 seconds!";
inline constexpr std::string_view kHelpDocument = "Cellwarden Tools Application Note.pdf";
// The main window's banner while the adapter link is down: the link's notice, then its status.
inline constexpr std::string_view kAdapterLost = "The adapter went away";
inline constexpr std::string_view kAdapterSilent = "The adapter stopped answering";
inline constexpr std::string_view kBootLoaderBanner =
    "The gauge waits in its boot loader (an update was stopped or failed) and answers nothing "
    "else. Tools > Firmware Update writes its firmware again and recovers it.";
inline constexpr std::string_view kLinkBanner =
    "{} ({}). Nothing is read until it answers again: values it could not read are left blank, "
    "and the chart leaves a gap.";
// The gauge's security state beside the charge gauge, from Operation Status.
inline constexpr std::string_view kSealed = "Sealed";
inline constexpr std::string_view kUnsealed = "Unsealed";
inline constexpr std::string_view kFullAccess = "Full access";
inline constexpr std::string_view kSealUnknown = "Seal: scan Operation Status";
// The SMB access page's read results, read another way.
inline constexpr std::string_view kWordResultTip = "Decimal: {} (signed: {})";
inline constexpr std::string_view kBlockResultTip = "{} bytes as text: \"{}\"";
// The data log's counter on the SBS page.
inline constexpr std::string_view kOneLineLogged = "1 line logged";
inline constexpr std::string_view kLinesLogged = "{} lines logged";
inline constexpr std::string_view kLinesWithUnread = "\n{} with unread values";

}  // namespace cw::presentation::messages
