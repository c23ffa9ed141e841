/* The contract of the ISAM engine VBIS4032.DLL, as its callers see it.
 *
 * Every entry point takes its arguments by reference and returns a 16-bit
 * result code, 0 for success (the codes are listed below). Texts are counted
 * texts (vbis/BStr.h): out texts are passed in as NULL and come back newly
 * allocated or NULL, and the caller frees them whatever the code. The in/out
 * record key of VmxPut is a text the caller allocated; the engine may free it
 * and leave a new one in its place.
 *
 * The engine holds no lock between calls: a handle keeps only its position
 * (and records it read ahead), so a dataset left open by one workstation never
 * blocks another.
 *
 * What a caller may count on, with any number of processes on any number of
 * workstations sharing the dataset's folder:
 *   - An open sees every write committed before it, by anyone.
 *   - A process sees its own writes at its next read, through any handle.
 *   - A walk (VmxBOF or VmxEOF, or a VmxGet that finds a record, then reads
 *     next or previous) never returns a record twice and never skips a record
 *     that was there for the whole walk, whatever others add, replace and
 *     erase meanwhile. A record whose indexed value a replace changes counts,
 *     on that index, as erased at its old place and added at its new one. A
 *     record added or erased during the walk may or may not be returned.
 *   - A dataset that another process deleted and created again is seen, as
 *     the new dataset, at the next open.
 *   - Every committed write leaves the data file (path.isd) with a
 *     modification time later than every earlier one.
 *   - A write either commits whole or leaves nothing behind, even when its
 *     process is killed in the middle; an acknowledged write is on the disk.
 *
 * A path "<URI>#<name>" whose URI is a PostgreSQL connection URI
 * (ServerSchema.h) names the dataset <name> of a board on that server; the
 * same holds there, with "the data file's modification time" read as the
 * dataset's change counter (kiv.changes), which every write counts on in its
 * own transaction. Codes of the server itself: unreachable 14, no board
 * schema 8, a schema of a later version 21, busy 3.
 *
 * How it keeps the file-system calls few (each one is a round trip on a
 * network share): a walk reads the following records of its index in batches,
 * each in one read transaction, served to the next reads of that walk until
 * the process writes, the handle moves elsewhere or closes; and a process
 * keeps a closed dataset's connection, with its page cache, for the next open
 * of the same dataset, as long as both files are still the ones it was opened
 * on. Nothing of either holds a lock.
 */
#ifndef VBIS_VBIS4032_H
#define VBIS_VBIS4032_H

#include <stdint.h>

#include "vbis/BStr.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
enum {
    VBIS_OK = 0,
    VBIS_NOT_FOUND = 1,
    VBIS_UPDATE_MODE = 2,
    VBIS_MULTI_USER = 3,
    VBIS_INVALID_HANDLE = 4,
    VBIS_BAD_FORMAT = 5,
    VBIS_ILLEGAL_KEY = 6,
    VBIS_BAD_PARAMETER = 7,
    VBIS_NOT_ISAM = 8,
    VBIS_NAME_IN_USE = 9,
    VBIS_NO_NOTE_SPACE = 10,
    VBIS_DISK_FULL = 11,
    VBIS_NO_MEMORY = 12,
    VBIS_SYSTEM_CALL = 13,
    VBIS_IO_ERROR = 14,
    VBIS_CORRUPTED = 15,
    VBIS_INDEX_TOO_LARGE = 16,
    VBIS_OUT_OF_ORDER = 17,
    VBIS_NO_HANDLES = 18,
    VBIS_LOCKED = 19,
    VBIS_UNAVAILABLE = 21,
    VBIS_INTERRUPTED = 22,
    VBIS_ALREADY_OPEN = 23
};

/* Read modes of VmxGet. */
enum {
    VBIS_READ_EQUAL = 4113,       /* 0x1011: the record whose index value equals the key */
    VBIS_READ_NEXT = 4114,        /* 0x1012 */
    VBIS_READ_PREVIOUS = 4116,    /* 0x1014 */
    VBIS_READ_PREVIOUS_KEY = 8196 /* 0x2004: previous, record key only; the buffer is not written */
};

/* Modes of VmxPut. */
enum { VBIS_PUT_ADD = 1, VBIS_PUT_REPLACE = 2 };

/* What VmxInfo reports: the natural 64-bit layout of the 32-byte record. */
typedef struct TIsamInfoRec {
    int32_t recordCount;  /* offset 0 */
    int32_t reserved0;    /* offset 4 */
    int16_t keyLength;    /* offset 8 */
    int16_t reserved1[7]; /* offset 10 */
    BSTR text1;           /* offset 24: the dataset's format string; the caller frees it */
    BSTR text2;           /* offset 32 */
} TIsamInfoRec;

#define VBIS_ENGINE_FILE "VBIS4032.DLL"

#ifdef VBIS_EXPORTS
#define VBIS_API __attribute__((visibility("default")))
#else
#define VBIS_API
#endif

VBIS_API int16_t VmxCreate(BSTR *path, int16_t *keyLength, int32_t *zero32, int16_t *zeroA, int16_t *zeroB,
                           BSTR *format);
VBIS_API int16_t VmxOpen(BSTR *path, int16_t *zero, int16_t *mode, int32_t *handle);
VBIS_API int16_t VmxClose(int32_t *handle);
VBIS_API int16_t VmxGet(int32_t *handle, int16_t *index, int16_t *readMode, BSTR *key, BSTR *text, BSTR *recordKey,
                        void *buffer);
VBIS_API int16_t VmxPut(int32_t *handle, BSTR *recordKey, void *buffer, int16_t *mode);
VBIS_API int16_t VmxDelete(int32_t *handle, BSTR *recordKey);
VBIS_API int16_t VmxBOF(int32_t *handle, int16_t *index);
VBIS_API int16_t VmxEOF(int32_t *handle, int16_t *index);
VBIS_API int16_t VmxInfo(int32_t *handle, TIsamInfoRec *info);
/* Present in the contract, never called by the system: each answers 21. */
VBIS_API int16_t VmxLock(int32_t *handle);
VBIS_API int16_t VmxUnlock(int32_t *handle);
VBIS_API int16_t VmxKill(BSTR *path);
VBIS_API int16_t VmxReadNote(int32_t *handle, BSTR *note);
VBIS_API int16_t VmxWriteNote(int32_t *handle, BSTR *note);
VBIS_API int16_t VmxFetchField(int32_t *handle, int16_t *field, BSTR *value);

/* Pointer types for resolving the entry points by name. */
typedef int16_t (*TVmxCreate)(BSTR *, int16_t *, int32_t *, int16_t *, int16_t *, BSTR *);
typedef int16_t (*TVmxOpen)(BSTR *, int16_t *, int16_t *, int32_t *);
typedef int16_t (*TVmxClose)(int32_t *);
typedef int16_t (*TVmxGet)(int32_t *, int16_t *, int16_t *, BSTR *, BSTR *, BSTR *, void *);
typedef int16_t (*TVmxPut)(int32_t *, BSTR *, void *, int16_t *);
typedef int16_t (*TVmxDelete)(int32_t *, BSTR *);
typedef int16_t (*TVmxBOF)(int32_t *, int16_t *);
typedef int16_t (*TVmxEOF)(int32_t *, int16_t *);
typedef int16_t (*TVmxInfo)(int32_t *, TIsamInfoRec *);
typedef int16_t (*TVmxLock)(int32_t *);
typedef int16_t (*TVmxUnlock)(int32_t *);
typedef int16_t (*TVmxKill)(BSTR *);
typedef int16_t (*TVmxReadNote)(int32_t *, BSTR *);
typedef int16_t (*TVmxWriteNote)(int32_t *, BSTR *);
typedef int16_t (*TVmxFetchField)(int32_t *, int16_t *, BSTR *);

#ifdef __cplusplus
}
#endif

#endif
