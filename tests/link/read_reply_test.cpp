// Read replies whose PEC is not the gauge's, or whose count byte does not fit what was read, on
// the simulated pack with its reply faults: every reading primitive fails such an attempt like a
// refusal, retries it, and never hands out its bytes.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/link_fixture.h"

namespace cw::test {
namespace {

using common::Bytes;
using common::Millis;

// What a reading primitive gave: its value as text, or nullopt when it failed and left no value.
using Reading = std::optional<std::string>;

Reading ValueIf(bool ok, bool left_empty, std::string text) {
  if (ok) return text;
  if (left_empty) return std::nullopt;
  return "left behind: " + text;
}

enum class ReplyKind {
  kWord,
  kBlock,
  kBlockOfGaugeLength,  // the HID adapter reads to the count byte (no PEC), bulk a fixed length
};

struct Reader {
  const char* name;
  ReplyKind kind;
  bool pec_on_hid;  // whether the reply as read carries the gauge's PEC on each adapter
  bool pec_on_bulk;
  std::function<Reading(link::GaugeLink&)> read;
};

const Reader kReaders[] = {
    {"word, command form", ReplyKind::kWord, true, false,
     [](link::GaugeLink& link) {
       std::uint16_t value = 0xBEEF;
       const bool ok = link.ReadWord(0x18, value);
       return ValueIf(ok, value == 0, std::to_string(value));
     }},
    {"word, row form", ReplyKind::kWord, true, false,
     [](link::GaugeLink& link) {
       link::RegisterRow row{.command = 0x18, .raw_value = 55};
       const bool ok = link.ReadWord(row);
       return ValueIf(ok, row.raw_value == -1, std::to_string(row.raw_value));
     }},
    {"block text", ReplyKind::kBlockOfGaugeLength, false, true,
     [](link::GaugeLink& link) {
       link::RegisterRow row{.command = 0x20, .format = "%s", .max_length = 20};
       const bool ok = link.ReadBlock(row);
       return ValueIf(ok, row.value_text.empty(), row.value_text);
     }},
    // Four letters in a row of four: the bulk read stops right before the PEC.
    {"block text filling its row", ReplyKind::kBlockOfGaugeLength, false, false,
     [](link::GaugeLink& link) {
       link::RegisterRow row{.command = 0x22, .format = "%s", .max_length = 4};
       const bool ok = link.ReadBlock(row);
       return ValueIf(ok, row.value_text.empty(), row.value_text);
     }},
    {"manufacturer block", ReplyKind::kBlock, true, true,
     [](link::GaugeLink& link) {
       Bytes out;
       const bool ok = link.ReadManufacturerBlock(0x54, 2, out);
       return ValueIf(ok, out.empty(), common::ToHex(out));
     }},
    {"manufacturer block, SubCMD form", ReplyKind::kBlock, true, true,
     [](link::GaugeLink& link) {
       Bytes out;
       const bool ok = link.ReadSubCmdReply(0x54, 2, out);
       return ValueIf(ok, out.empty(), common::ToHex(out));
     }},
    {"flash parameter pages", ReplyKind::kBlock, true, false,
     [](link::GaugeLink& link) {
       const link::FlashParamLocation row{
           .subclass = 0x30, .offset = 70, .size = 2, .subclass_length = 73};
       const auto pages = link.ReadFlashParameterBlock(row);
       return ValueIf(pages.has_value(), true, pages ? common::ToHex(pages->bytes) : "");
     }},
    {"flash block", ReplyKind::kBlock, true, false,
     [](link::GaugeLink& link) {
       const auto block = link.ReadFlashBlock(0xF801, true);
       return ValueIf(block.has_value(), true, block ? common::ToHex(*block) : "");
     }},
    {"authentication digest", ReplyKind::kBlock, true, true,
     [](link::GaugeLink& link) {
       const auto digest = link.SendChallenge(Bytes(20, 0x5C));
       return ValueIf(digest.has_value(), true, digest ? common::ToHex(*digest) : "");
     }},
};

// Read requests among the reports and packets sent: HID headers to 0x17, bulk read packets.
int ReadRequests(const std::vector<Bytes>& sent) {
  int reads = 0;
  for (const Bytes& bytes : sent) {
    const bool hid_read = bytes.size() == 8 && bytes[0] == 1 && bytes[1] == 0x17;
    const bool bulk_read = bytes.size() == 64 && bytes[0] == 0x02;
    reads += hid_read || bulk_read ? 1 : 0;
  }
  return reads;
}

// One reading on a pack of its own, opened and unsealed, with what it cost on the bus and the
// clock.
struct ReaderRun {
  Reading reading;
  int read_requests = 0;
  std::vector<Millis> waits;
  link::LinkStatus status = link::LinkStatus::kNoAdapter;
};

struct Setup {
  sim::FaultConfig faults;
  bool refuse_reads = false;  // a gauge that NACKs every read: the plain failed attempt
  bool one_clean_pec_first = false;
};

ReaderRun RunReader(Adapters adapters, const Reader& reader, const Setup& setup) {
  LinkFixture fx(adapters);
  EXPECT_TRUE(fx.link->EnsureConnected());
  sim::SimGauge& gauge = fx.pack->gauge();
  gauge.SetSealState(sim::SealState::kUnsealed);
  gauge.SetFaults(setup.faults);
  // A read with a PEC straight off the gauge, so that an every-second fault spoils the next.
  if (setup.one_clean_pec_first) {
    EXPECT_TRUE(gauge.Read(0x09, 3).has_value());
  }
  ScriptedTarget refusing;
  refusing.on_write = [&](common::ByteView bytes) { return gauge.Write(bytes); };
  if (setup.refuse_reads) fx.pack->ReplaceTarget(&refusing);
  fx.TakeSent();
  fx.TakeWaits();
  ReaderRun run;
  run.reading = reader.read(*fx.link);
  run.read_requests = ReadRequests(fx.TakeSent());
  run.waits = fx.TakeWaits();
  run.status = fx.link->link_status();
  fx.pack->ReplaceTarget(nullptr);
  return run;
}

class ReadReplyTest : public ::testing::TestWithParam<Adapters> {
 protected:
  bool CarriesPec(const Reader& reader) const {
    return GetParam() == Adapters::kHid ? reader.pec_on_hid : reader.pec_on_bulk;
  }
};

TEST_P(ReadReplyTest, EverySpoiledPecFailsItsAttemptLikeARefusalAndNoValueIsLeft) {
  for (const Reader& reader : kReaders) {
    SCOPED_TRACE(reader.name);
    const ReaderRun clean = RunReader(GetParam(), reader, {});
    ASSERT_TRUE(clean.reading.has_value());
    const ReaderRun spoiled = RunReader(GetParam(), reader, {.faults = {.corrupt_pec_every = 1}});
    if (!CarriesPec(reader)) {
      // The read stops before the PEC, so the fault has nothing to spoil.
      EXPECT_EQ(spoiled.reading, clean.reading);
      continue;
    }
    EXPECT_EQ(spoiled.reading, std::nullopt);
    const ReaderRun refused = RunReader(GetParam(), reader, {.refuse_reads = true});
    EXPECT_EQ(spoiled.read_requests, refused.read_requests);
    EXPECT_EQ(spoiled.read_requests, 5 * clean.read_requests);
    EXPECT_EQ(spoiled.waits, refused.waits);
    EXPECT_EQ(spoiled.status, link::LinkStatus::kNotResponding);
  }
}

TEST_P(ReadReplyTest, ASpoiledPecIsReadAgainAndTheCleanReplyIsTheValue) {
  for (const Reader& reader : kReaders) {
    SCOPED_TRACE(reader.name);
    const ReaderRun clean = RunReader(GetParam(), reader, {});
    const ReaderRun retried = RunReader(
        GetParam(), reader, {.faults = {.corrupt_pec_every = 2}, .one_clean_pec_first = true});
    EXPECT_EQ(retried.reading, clean.reading);
    EXPECT_EQ(retried.read_requests, (CarriesPec(reader) ? 2 : 1) * clean.read_requests);
    EXPECT_EQ(retried.status, link::LinkStatus::kConnected);
  }
}

// Short replies announce one byte fewer than they carry, oversized ones 255: either way the count
// byte is not the reply's. Only a block the HID adapter reads to its count byte cannot tell a
// short count, as nothing follows it there to check against.
TEST_P(ReadReplyTest, ABlockWhoseCountByteIsNotItsOwnFails) {
  for (const Reader& reader : kReaders) {
    SCOPED_TRACE(reader.name);
    const ReaderRun clean = RunReader(GetParam(), reader, {});
    for (const bool oversized : {false, true}) {
      SCOPED_TRACE(oversized ? "oversized" : "short");
      const ReaderRun run =
          RunReader(GetParam(), reader,
                    {.faults = {.short_replies = !oversized, .oversized_replies = oversized}});
      if (reader.kind == ReplyKind::kWord) {
        EXPECT_EQ(run.reading, clean.reading);
      } else if (reader.kind == ReplyKind::kBlockOfGaugeLength && GetParam() == Adapters::kHid &&
                 !oversized) {
        continue;
      } else {
        EXPECT_EQ(run.reading, std::nullopt);
        EXPECT_EQ(run.status, link::LinkStatus::kNotResponding);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothAdapters, ReadReplyTest,
                         ::testing::Values(Adapters::kHid, Adapters::kBulk));

}  // namespace
}  // namespace cw::test
