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

} // namespace vbis
