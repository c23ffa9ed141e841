// kivctl's own look at a dataset that a data class reads without a word when
// it cannot (as the windows want it: an empty list, not a box). A command must
// not end in success with nothing listed, or blame something else, when the
// dataset is damaged or cannot be reached: it says so with the engine's text.
#pragma once

#include <cstdint>
#include <string>

/// Opens the dataset at path as the data classes do (waiting a moment for one
/// that another workstation is creating, refusing one whose format string is
/// not format), reads it to its end on the record
/// number index and closes it. Raises EKivError with openFailure or
/// readFailure followed by the engine's text when it cannot be opened or a
/// record cannot be read.
void CheckWholeDataset(const std::string &path, const std::string &format, const std::string &openFailure,
                       const std::string &readFailure);

/// The same for the part of the messages dataset at path that the in-box of
/// login shows: its messages on the recipient index.
void CheckOwnMessages(const std::string &path, const std::string &login, const std::string &openFailure,
                      const std::string &readFailure);

/// Creates the dataset at path, unless its definition is there, to learn why
/// a data class's silent create left none: raises EKivError with failure
/// followed by the engine's text when the create fails (another workstation
/// creating it at the same moment is no failure).
void CheckCreated(const std::string &path, int16_t keyLength, const std::string &format, const std::string &failure);

/// Raises EKivError with failure followed by the engine's text unless the
/// dataset at path, of the format string format, can be opened.
void CheckOpens(const std::string &path, const std::string &format, const std::string &failure);
