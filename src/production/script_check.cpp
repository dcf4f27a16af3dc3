#include "production/script_check.h"

namespace cw::production {

// The FS script checker (every line parsed, PECs and counts verified, waits bounded) belongs to
// the firmware subsystem and is not part of this build yet: until it is, a script is only hashed,
// and the station check says so. Calling the checker here is all it takes to use it.
ScriptCheck CheckScriptBytes(common::ByteView) { return {}; }

}  // namespace cw::production
