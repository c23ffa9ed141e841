// The idle time the X server's screen-saver extension keeps, kept apart so
// that the X headers' names stay out of the rest of the program.
#pragma once

#include <cstdint>
#include <optional>

/// Milliseconds since the last keyboard or mouse input on the X display the
/// program shows its windows on; nothing when it runs on another platform
/// (Wayland, offscreen) or the server lacks the extension.
std::optional<uint64_t> X11IdleMilliseconds();
