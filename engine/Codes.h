// Turning SQLite's and the system's failures into engine result codes.
#pragma once

#include <cstdint>

namespace vbis {

/// The engine code for a SQLite result code (extended or primary).
int16_t CodeOfSqlite(int rc);

/// The engine code for a failed system call's errno.
int16_t CodeOfErrno(int error);

} // namespace vbis
