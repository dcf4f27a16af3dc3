#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/adapter_fault.h"
#include "link/hid_backend.h"
#include "link/transport.h"

namespace cw::link {

// Who may open a device node, as the file system tells it.
struct NodeAccess {
  bool exists = false;
  std::string mode;         // "crw-rw----"
  std::string owner;        // user name, or the uid when it has none
  std::string group;        // group name, or the gid
  bool read_write = false;  // this process may open it for reading and writing
};

// One device with the adapter's vendor id, as the last look at the machine saw it: its ids, its
// node and what opening it did. The survey, the adapter list and the stations all know an
// adapter by this.
struct AdapterSeen {
  Transport transport = kFirstTransport;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::string node;
  std::string serial;
  std::vector<HidCollectionInfo> collections;  // HID: every collection on the node
  bool adapter_collections = false;  // HID: one of them is the adapter's (page FF00, its usages)
  NodeAccess access;
  bool product_matches = false;  // the product id the link opens
  bool serial_matches = true;    // bulk: the configured prefix followed by 00000001
  bool opened = false;
  AdapterFault open_fault;
  bool kernel_driver = false;   // bulk: a kernel driver holds interface 0
  std::optional<bool> claimed;  // bulk: whether interface 0 could be claimed (then released)
  AdapterFault claim_fault;
  // The link would use this device: right ids, open, and for bulk the serial and the claim.
  bool usable = false;
  // What names it on the command line among the devices seen: its serial number where no other
  // of its transport shares it, else its node.
  AdapterChoice choice;

  // Why the link cannot open it (it did not open, a HID node without the adapter's collections,
  // a bulk interface held elsewhere); empty when it can.
  std::string Problem() const;
};

}  // namespace cw::link
