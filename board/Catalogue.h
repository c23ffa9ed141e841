// What the status and department catalogues share: datasets of one indexed
// text field, whose records are listed in the order they were added.
#pragma once

#include "board/KivText.h"

#include <cstdint>
#include <functional>
#include <string>

class IItemList;
class TIsamFile;

namespace Catalogue {

/// The index every listing walks: the record number, in the order of adding.
inline constexpr int16_t NumberIndex = 0;
/// The index on the one text field: the duplicate check and the look-up by text.
inline constexpr int16_t TextIndex = 1;
/// Record numbers are ten digits.
inline constexpr int16_t KeyLength = 10;
/// The mode every dataset of the board is opened in.
inline constexpr int16_t OpenMode = 3;

/// The record number a record key stands for; 0 for a key that is not a
/// decimal number (the wrapper never files one).
int32_t RecordNumberOf(const std::string &key);

/// Reads the records of the open dataset of isam one after another on the
/// number index, from where it stands, and hands each one's text and record
/// number to each (the record is the one text field); the first read that
/// fails ends the walk and is not reported.
void WalkTexts(TIsamFile &isam, TField field, const std::function<void(const std::string &, int32_t)> &each);

/// Suspends a list's repainting while it lives, so that it is resumed however
/// the filling ends.
class TRepaintPause {
public:
    explicit TRepaintPause(IItemList &list);
    ~TRepaintPause();
    TRepaintPause(const TRepaintPause &) = delete;
    TRepaintPause &operator=(const TRepaintPause &) = delete;

private:
    IItemList &FList;
};

} // namespace Catalogue
