// Whole-file replacement that a crash or a second writer never leaves half
// done: the bytes go to a temporary file beside the target, are flushed to the
// disk, and the temporary file is renamed over the target in one step.
#pragma once

#include "platform/Files.h"

#include <string>
#include <string_view>
#include <sys/types.h>

/// Replaces (or creates) the file at path with bytes, atomically. With
/// TLinks::Follow a link at path is followed, so the file it points at is
/// replaced; with TLinks::Refuse the link itself is replaced by the new file.
/// On failure the old file is untouched, no temporary file is left, and error
/// (when given) says why. TFlush::Lazily leaves the flush to the system: for a
/// file written again on the next period anyway, where a power cut costs one
/// period and a flush on a share costs a round trip each time.
enum class TFlush { ToDisk, Lazily };
bool WriteFileAtomically(const std::string &path, std::string_view bytes, mode_t mode, std::string *error = nullptr,
                         TLinks links = TLinks::Follow, TFlush flush = TFlush::ToDisk);

/// Reads at most limit bytes of the regular file at path into bytes (a link
/// is followed only with TLinks::Follow, a FIFO is never waited on); truncated
/// is set when the file holds more. False (with errno kept, as OpenRegularFile
/// leaves it) when it cannot be opened or read.
bool ReadFilePrefix(const std::string &path, std::size_t limit, std::string &bytes, bool &truncated, TLinks links);

/// Copies the whole regular file at from (a link followed) to to, replacing to
/// atomically; false when either side fails, with error (when given) saying why.
bool CopyFileAtomically(const std::string &from, const std::string &to, mode_t mode, std::string *error = nullptr);
