// The one home of the small file helpers every layer above the engine uses:
// whether a path exists, the folder of a path, flushing a folder, writing
// and reading whole buffers over signals and partial transfers. (Cutting a
// text to the bytes a field holds is in platform/Text.h.)
//
// The existence checks look at the path only (stat), never open the file, so
// they never disturb the locks another part of the process holds.
//
// A file in a shared folder may have been put there by anyone who can write
// to the folder, so it is opened with OpenRegularFile: a symbolic link is not
// followed, the open never waits (a FIFO in the file's place would hold it
// forever), and only a regular file is taken.
#pragma once

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

/// True when path names something that exists and is not a folder.
bool FileExists(const std::string &path);

/// True when path names an existing folder (a link to one counts).
bool DirectoryExists(const std::string &path);

/// The folder part of path: everything before its last '/', "/" for a name
/// in the root, "." for a name without a folder.
std::string FolderOf(const std::string &path);

/// Whether an open follows a symbolic link that the path itself names.
enum class TLinks { Refuse, Follow };

/// The errno of OpenRegularFile for a path that names something other than a
/// regular file (a FIFO, a socket, a device or a folder).
inline constexpr int kNotRegularFile = EINVAL;

/// Opens path with flags (O_CLOEXEC, O_NOCTTY and O_NONBLOCK are added; mode
/// for O_CREAT) and answers the descriptor, or -1 with errno saying why. The
/// open never blocks, and anything but a regular file is refused with
/// kNotRegularFile; with TLinks::Refuse a symbolic link at path is refused
/// too (ELOOP), also one that points nowhere, so O_CREAT never makes a file
/// elsewhere. O_NONBLOCK stays on the descriptor, which means nothing for a
/// regular file. With seen, the file's fstat made for the check is kept there.
int OpenRegularFile(const std::string &path, int flags, mode_t mode = 0, TLinks links = TLinks::Refuse,
                    struct stat *seen = nullptr);

/// The text for the errno of a failed OpenRegularFile: the system's, but
/// plain words for a link and for a file that is not a regular one.
std::string OpenErrorText(int error);

/// Renames path (a link itself, never what it points to) to path followed by
/// suffix, or by suffix, "-" and the first number from 1 whose name is free;
/// a name that is taken is never replaced. Answers the new path, or an empty
/// text with errno saying why.
std::string RenameAside(const std::string &path, const std::string &suffix);

/// Flushes folder itself to the disk, so that a file created or renamed in it
/// survives a power cut; false when the folder cannot be opened or flushed.
bool SyncFolder(const std::string &folder);

/// Writes the size bytes at data to fd, resuming after a signal or a partial
/// write. The number of bytes written: fewer than size only when a write
/// failed, errno then saying why (EIO for a write that took nothing).
std::size_t WriteAll(int fd, const void *data, std::size_t size);

/// WriteAll at offset of the file (pwrite): the file position is left alone.
std::size_t WriteAllAt(int fd, const void *data, std::size_t size, off_t offset);

/// Reads size bytes at offset of the file (pread) into data, resuming after a
/// signal or a partial read. The number of bytes read: fewer than size at the
/// end of the file, or when a read failed (errno then says why).
std::size_t ReadAllAt(int fd, void *data, std::size_t size, off_t offset);
