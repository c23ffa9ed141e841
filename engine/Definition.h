// The definition file P.ism of a dataset: a magic line, the engine version,
// the key length and the format string, one per line. Written once when the
// dataset is created, never again.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "engine/RecordFormat.h"

namespace vbis {

/// Key lengths a dataset may be created with.
constexpr int kMinKeyLength = 1;
constexpr int kMaxKeyLength = 255;
/// A definition file larger than this is not one of ours.
constexpr std::size_t kMaxDefinitionBytes = 64 * 1024;

struct TDefinition {
    int KeyLength = 0;
    TRecordFormat Format;
};

enum class TDefinitionCheck {
    Good,
    NotOurs, ///< the text does not start with our magic line
    Damaged  ///< our magic line, but the rest cannot be read
};

struct TDefinitionRead {
    TDefinitionCheck Check = TDefinitionCheck::NotOurs;
    std::optional<TDefinition> Definition;
};

/// The text of a definition file for a dataset with this key length and format.
std::string ComposeDefinition(int keyLength, const TRecordFormat &format);

/// Reads the text of a definition file.
TDefinitionRead ParseDefinition(std::string_view text);

/// True when text is one or more ASCII digits and nothing else.
bool IsDecimalText(std::string_view text);

/// The key for a new record after the highest key ("0" when there is none):
/// that number plus one, padded with zeros to keyLength. False when the
/// highest key is no decimal number or the key space is used up.
bool NextRecordKey(std::string_view highest, int keyLength, std::string &key);

/// The value a read by index looks for, from the key text the caller gave: the
/// text itself, or for an integer index its decimal value. False when an
/// integer index is given no 16-bit decimal number.
bool KeyValueOf(const TRecordFormat &format, int index, std::string_view key, TIndexValue &value);

} // namespace vbis
