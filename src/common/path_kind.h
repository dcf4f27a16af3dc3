#pragma once

#include <string>

namespace cw::common {

// What a path names, as far as a command that reads or writes a file there cares. Symbolic links
// are followed: a link to a regular file is a regular file.
enum class PathKind {
  kMissing,  // nothing there yet (also when a parent is no directory)
  kRegularFile,
  kDirectory,
  kSpecial,       // a device, FIFO or socket: reading may never end, writing may go nowhere
  kInaccessible,  // the system would not say (no permission on a parent)
};

PathKind KindOfPath(const std::string& path);

}  // namespace cw::common
