#include "firmware/fs_script.h"

#include <fmt/format.h>

#include <array>

#include "firmware/image_record.h"
#include "link/command_codes.h"
#include "link/gauge_link.h"
#include "link/hid_reports.h"
#include "link/pec.h"

namespace cw::firmware {
namespace {

constexpr std::uint8_t kAddress = link::hid::kWriteAddress;
constexpr std::uint8_t kReadAddress = link::hid::kReadAddress;
constexpr std::uint8_t kSelectSubclass = link::kSubclassSelectCommand;
constexpr std::uint8_t kFirstPage = link::kFlashPageCommand;
constexpr std::uint8_t kIspStatus = link::kIspStatusCommand;
constexpr std::uint8_t kIspData = link::kIspDataCommand;

class ScriptWriter {
 public:
  void Banner(std::string_view title) {
    Line(kScriptBanner);
    Line(title);
    Line(kScriptBanner);
  }
  void Line(std::string_view text) {
    text_ += text;
    text_ += '\n';
  }
  // "W: 16 cmd bytes.. PEC": the PEC covers everything the host drives.
  void Write(std::uint8_t command, common::ByteView bytes) {
    std::uint8_t pec = link::Pec({kAddress, command});
    pec = link::Pec(bytes, pec);
    Transaction("W", command, bytes, pec);
  }
  // "C: 16 cmd bytes.. PEC": the PEC the gauge must send, over the read address too.
  void Compare(std::uint8_t command, common::ByteView bytes) {
    std::uint8_t pec = link::Pec({kAddress, command, kReadAddress});
    pec = link::Pec(bytes, pec);
    Transaction("C", command, bytes, pec);
  }
  void Wait(int ms) { text_ += fmt::format("X: {}\n", ms); }
  std::string Take() { return std::move(text_); }

 private:
  void Transaction(std::string_view kind, std::uint8_t command, common::ByteView bytes,
                   std::uint8_t pec) {
    text_ += fmt::format("{}: {:02X} {:02X}", kind, kAddress, command);
    for (std::uint8_t byte : bytes) text_ += fmt::format(" {:02X}", byte);
    text_ += fmt::format(" {:02X}\n", pec);
  }

  std::string text_;
};

// A ManufacturerAccess word, low byte first.
std::array<std::uint8_t, 2> SubcommandWord(std::uint16_t subcommand) {
  return {common::LowByte(subcommand), common::HighByte(subcommand)};
}

// A block transaction's bytes: the count, then the data.
common::Bytes Block(common::ByteView data) {
  common::Bytes bytes{static_cast<std::uint8_t>(data.size())};
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

std::string SectionTitle(std::string_view verb, const dataflash::SubclassRow& row) {
  return fmt::format(";{} SubclassID = {} Parameters, Subclass length = {}", verb, row.id,
                     row.length);
}

// The subclass's pages, 32 bytes each with a shorter last one.
template <typename Each>
void ForEachPage(const dataflash::FlashImage& image, const dataflash::SubclassRow& row, Each each) {
  const std::size_t start = std::size_t{row.block} * dataflash::kBlockSize;
  for (std::size_t done = 0, page = 0; done < row.length; done += kRecordSize, ++page) {
    const std::size_t count = std::min<std::size_t>(kRecordSize, row.length - done);
    each(static_cast<std::uint8_t>(kFirstPage + page),
         common::ByteView(image.data() + start + done, count));
  }
}

void HandshakeStatusCheck(ScriptWriter& script) {
  const std::uint8_t ready[] = {0x80, 0x01};
  script.Compare(kIspStatus, ready);
}

}  // namespace

std::string AfiScript(const dataflash::FlashImage& image) {
  ScriptWriter script;
  script.Banner(";Write All DataFlash Parameters");
  for (const dataflash::SubclassRow& row : dataflash::kSubclassRows) {
    script.Banner(SectionTitle("Write", row));
    const std::uint8_t select[] = {row.id, 0x00};
    script.Write(kSelectSubclass, select);
    script.Wait(2);
    ForEachPage(image, row, [&](std::uint8_t command, common::ByteView data) {
      script.Write(command, Block(data));
      script.Wait(5);
    });
  }
  script.Banner(";Update DataFlash Area immediately");
  script.Write(link::kManufacturerAccess, SubcommandWord(link::kDataFlashCommitSubcommand));
  script.Wait(500);
  script.Banner(";Reset Device for Parameters Check");
  script.Write(link::kManufacturerAccess, SubcommandWord(link::kResetSubcommand));
  script.Wait(2000);
  for (const dataflash::SubclassRow& row : dataflash::kSubclassRows) {
    script.Banner(SectionTitle("Read", row));
    const std::uint8_t select[] = {row.id, 0x00};
    script.Write(kSelectSubclass, select);
    script.Wait(2);
    ForEachPage(image, row, [&](std::uint8_t command, common::ByteView data) {
      script.Compare(command, Block(data));
      script.Wait(2);
    });
  }
  return script.Take();
}

std::string UpdateScript(common::ByteView image) {
  ScriptWriter script;
  script.Banner(";Firmware Update Process");
  script.Banner(";Enter into FU Mode");
  const std::uint8_t enter[] = {0x00, 0xF1};
  const std::uint8_t confirm[] = {0x00, 0xF2};
  script.Write(kIspStatus, enter);
  script.Write(kIspStatus, confirm);
  HandshakeStatusCheck(script);
  script.Banner(";Program in FU Mode");
  for (std::size_t offset = 0; offset + kRecordSize <= image.size(); offset += kRecordSize) {
    script.Write(kIspData, Block(image.subspan(offset, kRecordSize)));
    HandshakeStatusCheck(script);
  }
  script.Banner(";Out FU Mode");
  const std::uint8_t leave[] = {0x00, 0xFF};
  script.Write(kIspStatus, leave);
  return script.Take();
}

}  // namespace cw::firmware
