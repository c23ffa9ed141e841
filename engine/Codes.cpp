#include "engine/Codes.h"

#include <cerrno>
#include <sqlite3.h>

#include "vbis/Vbis4032.h"

namespace vbis {

int16_t CodeOfSqlite(int rc)
{
    if (rc == SQLITE_IOERR_NOMEM)
        return VBIS_NO_MEMORY;
    switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return VBIS_OK;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return VBIS_MULTI_USER;
    case SQLITE_FULL:
        return VBIS_DISK_FULL;
    case SQLITE_NOMEM:
        return VBIS_NO_MEMORY;
    case SQLITE_CONSTRAINT:
        return VBIS_UPDATE_MODE;
    case SQLITE_INTERRUPT:
        return VBIS_INTERRUPTED;
    // A damaged file, or a database that is not laid out as ours.
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
    case SQLITE_MISMATCH:
    case SQLITE_ERROR:
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
        return VBIS_CORRUPTED;
    default: // SQLITE_IOERR, SQLITE_CANTOPEN, SQLITE_PERM, SQLITE_READONLY, ...
        return VBIS_IO_ERROR;
    }
}

int16_t CodeOfErrno(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return VBIS_DISK_FULL;
    case ENOMEM:
        return VBIS_NO_MEMORY;
    case EMFILE:
    case ENFILE:
        return VBIS_NO_HANDLES;
    default:
        return VBIS_IO_ERROR;
    }
}

} // namespace vbis
