#include "fake_usb_world.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "fake_usb_control.h"
#include "link/pec.h"

namespace cw::fake {
namespace {

std::atomic<void (*)(unsigned, void*)> timeout_hook{nullptr};
std::atomic<void*> timeout_context{nullptr};

// Feature report lengths of the adapter (id included); other collections carry 8 bytes.
std::size_t ReportLength(std::uint16_t id) {
  switch (id) {
    case 2:
    case 4:
      return 16;
    case 5:
      return 32;
    case 6:
      return 48;
    default:
      return 8;
  }
}

std::vector<FakeCollection> AdapterCollections() {
  std::vector<FakeCollection> collections;
  for (std::uint16_t usage : {1, 2, 3, 4, 5, 6, 15, 14, 9, 10, 11, 12, 13}) {
    collections.push_back({0xFF00, usage});
  }
  return collections;
}

bool ParseIds(const std::string& text, std::uint16_t& vendor, std::uint16_t& product) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  vendor = static_cast<std::uint16_t>(std::strtoul(text.substr(0, colon).c_str(), nullptr, 16));
  product = static_cast<std::uint16_t>(std::strtoul(text.substr(colon + 1).c_str(), nullptr, 16));
  return true;
}

int Number(const std::string& text) {
  return static_cast<int>(std::strtol(text.c_str(), nullptr, 0));
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

bool ParseItem(World& world, const std::string& item) {
  std::istringstream words(item);
  std::string keyword;
  words >> keyword;
  std::vector<std::string> args;
  for (std::string word; words >> word;) args.push_back(word);
  auto option = [&](const std::string& key) -> std::optional<std::string> {
    for (const auto& arg : args) {
      if (arg == key) return std::string();
      if (arg.starts_with(key + "=")) return arg.substr(key.size() + 1);
    }
    return std::nullopt;
  };
  if (keyword == "hid") {
    if (args.size() < 2) return false;
    FakeHidNode node;
    node.path = args[0];
    if (!ParseIds(args[1], node.vendor_id, node.product_id)) return false;
    node.serial = option("serial").value_or("");
    node.open_errno = Number(option("open-errno").value_or("0"));
    node.mode =
        static_cast<unsigned>(std::strtoul(option("mode").value_or("0660").c_str(), nullptr, 8));
    if (const auto usages = option("usages")) {
      const auto page = static_cast<std::uint16_t>(
          std::strtoul(option("page").value_or("ff00").c_str(), nullptr, 16));
      std::istringstream list(*usages);
      for (std::string usage; std::getline(list, usage, ',');) {
        node.collections.push_back({page, static_cast<std::uint16_t>(Number(usage))});
      }
    } else {
      node.collections = AdapterCollections();
    }
    node.syspath = std::string(kFakeSysfs) + "/" + node.path.substr(node.path.rfind('/') + 1);
    world.hid.push_back(std::move(node));
    return true;
  }
  if (keyword == "usb") {
    if (args.size() < 2) return false;
    FakeUsbDevice device;
    const auto slash = args[0].find('/');
    if (slash == std::string::npos) return false;
    device.bus = static_cast<std::uint8_t>(Number(args[0].substr(0, slash)));
    device.address = static_cast<std::uint8_t>(Number(args[0].substr(slash + 1)));
    if (!ParseIds(args[1], device.vendor_id, device.product_id)) return false;
    device.serial = option("serial").value_or("");
    device.open_error = Number(option("open-error").value_or("0"));
    device.claim_error = Number(option("claim-error").value_or("0"));
    device.kernel_driver = option("kernel-driver").has_value();
    device.mode =
        static_cast<unsigned>(std::strtoul(option("mode").value_or("0660").c_str(), nullptr, 8));
    world.usb.push_back(std::move(device));
    return true;
  }
  if (args.empty()) return false;
  if (keyword == "set-errno")
    world.set_errno = Number(args[0]);
  else if (keyword == "get-errno")
    world.get_errno = Number(args[0]);
  else if (keyword == "get-length")
    world.get_length = Number(args[0]);
  else if (keyword == "unplug-after")
    world.unplug_after = Number(args[0]);
  else if (keyword == "word") {
    world.word = static_cast<std::uint16_t>(std::strtoul(args[0].c_str(), nullptr, 16));
  } else if (keyword == "bulk-in-error") {
    world.bulk_in_error = Number(args[0]);
    world.bulk_in_partial = Number(option("partial").value_or("0"));
  } else {
    return false;
  }
  return true;
}

std::optional<World> Parse(const std::string& scenario) {
  World world;
  std::istringstream items(scenario);
  for (std::string item; std::getline(items, item, ';');) {
    item = Trim(item);
    if (!item.empty() && !ParseItem(world, item)) return std::nullopt;
  }
  return world;
}

World& Storage() {
  // Built on first use from the environment, so the CLI under test needs nothing but the
  // variable; a test process replaces it through cw_fake_usb_configure. Never destroyed: the
  // shim still answers calls made while the process exits.
  static auto* world = [] {
    const char* scenario = std::getenv("CW_FAKE_USB");
    return new World(Parse(scenario != nullptr ? scenario : "").value_or(World{}));
  }();
  return *world;
}

}  // namespace

std::mutex& WorldMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

World& TheWorld() { return Storage(); }

bool Configure(const std::string& scenario) {
  auto world = Parse(scenario);
  if (!world) return false;
  std::lock_guard lock(WorldMutex());
  Storage() = std::move(*world);
  return true;
}

std::string FakeUsbDevice::Node() const {
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", unsigned{bus}, unsigned{address});
  return node;
}

bool CountExchange(World& world) {
  if (world.unplug_after && (*world.unplug_after)-- <= 0) world.unplugged = true;
  return world.unplugged;
}

void CountOpen(World& world, const std::string& path) {
  auto entry = std::find_if(world.opens.begin(), world.opens.end(),
                            [&](const auto& pair) { return pair.first == path; });
  if (entry == world.opens.end()) {
    world.opens.emplace_back(path, 1);
  } else {
    ++entry->second;
  }
}

void ReportTimeout(unsigned ms) {
  if (auto hook = timeout_hook.load()) hook(ms, timeout_context.load());
}

std::string UeventOf(const FakeHidNode& node) {
  char id[64];
  std::snprintf(id, sizeof id, "HID_ID=0003:%08X:%08X", node.vendor_id, node.product_id);
  return std::string("DRIVER=hid-generic\n") + id + "\nHID_NAME=Fake " + node.path +
         "\nHID_PHYS=usb-0000:00:14.0-1/input0\nHID_UNIQ=" + node.serial + "\n";
}

// One application collection per usage, each with one feature report whose id is the usage:
// Usage Page, Usage, Collection, Report ID, Report Size 8, Report Count, Usage, Feature, End.
std::vector<std::uint8_t> ReportDescriptorOf(const FakeHidNode& node) {
  std::vector<std::uint8_t> bytes;
  for (const auto& collection : node.collections) {
    const auto page = collection.usage_page;
    const auto usage = static_cast<std::uint8_t>(collection.usage);
    const auto count = static_cast<std::uint8_t>(ReportLength(usage) - 1);
    const std::uint8_t items[] = {0x06,
                                  static_cast<std::uint8_t>(page & 0xFF),
                                  static_cast<std::uint8_t>(page >> 8),
                                  0x09,
                                  usage,
                                  0xA1,
                                  0x01,
                                  0x85,
                                  usage,
                                  0x75,
                                  0x08,
                                  0x95,
                                  count,
                                  0x09,
                                  usage,
                                  0xB1,
                                  0x02,
                                  0xC0};
    bytes.insert(bytes.end(), std::begin(items), std::end(items));
  }
  return bytes;
}

void AdapterSetFeature(World& world, const std::uint8_t* report, std::size_t length) {
  if (length < 2) return;
  const std::uint8_t id = report[0];
  world.hid_reply.bytes.assign(47, 0);
  if ((id == 1 || id == 2) && report[1] == 0x17) {
    // A read: the word comes back from byte 1 with the gauge's PEC, the status after it stays 0.
    const auto low = static_cast<std::uint8_t>(world.word & 0xFF);
    const auto high = static_cast<std::uint8_t>(world.word >> 8);
    world.hid_reply.bytes[0] = low;
    world.hid_reply.bytes[1] = high;
    world.hid_reply.bytes[2] = link::Pec({0x16, report[2], 0x17, low, high});
  } else if (id == 10 && length > 2 && report[2] == 2) {
    // The version request: hardware 1.2, firmware 3.4.5 in bytes 3 to 7 of the reply.
    const std::uint8_t version[] = {0, 0, 1, 2, 3, 4, 5};
    std::copy(std::begin(version), std::end(version), world.hid_reply.bytes.begin());
  }
}

void AdapterGetFeature(World& world, std::uint8_t* report, std::size_t length) {
  for (std::size_t i = 1; i < length; ++i) {
    report[i] = i - 1 < world.hid_reply.bytes.size() ? world.hid_reply.bytes[i - 1] : 0;
  }
}

void AdapterBulkOut(World& world, const std::uint8_t* packet, std::size_t length) {
  world.bulk_request.assign(packet, packet + length);
}

void AdapterBulkIn(World& world, std::uint8_t* packet, std::size_t length) {
  std::fill(packet, packet + length, 0);
  if (world.bulk_request.empty() || length < 16) return;
  const std::uint8_t opcode = world.bulk_request[0];
  packet[0] = opcode;
  if (opcode == 0x8A) {
    const float version = 1.5f;
    std::memcpy(packet + 8, &version, sizeof version);
    return;
  }
  packet[6] = 1;  // acknowledged
  packet[10] = static_cast<std::uint8_t>(world.word & 0xFF);
  packet[11] = static_cast<std::uint8_t>(world.word >> 8);
}

}  // namespace cw::fake

extern "C" {

__attribute__((visibility("default"))) int cw_fake_usb_configure(const char* scenario) {
  return cw::fake::Configure(scenario != nullptr ? scenario : "") ? 1 : 0;
}

__attribute__((visibility("default"))) int cw_fake_usb_counter(const char* name) {
  std::lock_guard lock(cw::fake::WorldMutex());
  const auto& world = cw::fake::TheWorld();
  const std::string which = name != nullptr ? name : "";
  if (which == "set") return world.set_reports;
  if (which == "get") return world.get_reports;
  if (which == "timeouts") return world.timeouts;
  if (which == "bulk") return world.bulk_transfers;
  if (which == "claims") return world.claims;
  if (which == "usb-opens") return world.usb_opens;
  return -1;
}

__attribute__((visibility("default"))) int cw_fake_usb_opens(const char* path) {
  std::lock_guard lock(cw::fake::WorldMutex());
  for (const auto& [opened, count] : cw::fake::TheWorld().opens) {
    if (path != nullptr && opened == path) return count;
  }
  return 0;
}

__attribute__((visibility("default"))) void cw_fake_usb_set_timeout_hook(
    void (*hook)(unsigned ms, void* context), void* context) {
  cw::fake::timeout_context.store(context);
  cw::fake::timeout_hook.store(hook);
}

}  // extern "C"
