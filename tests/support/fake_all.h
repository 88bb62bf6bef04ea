// One call that gives every stand-in a fresh state, as a new process would see.
#pragma once

namespace fake {

// Resets the windows and message boxes, the registry, the locale and mutex answers,
// the platform calls (with the per-process caches), the file system, the process
// table, the top-level windows, the pipe channel and the session calls.
void ResetAll();

} // namespace fake
