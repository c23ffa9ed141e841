// Fuzz target for the engine's two parsers: format strings and definition
// files. Both read text that comes from outside (a caller, a shared folder),
// so neither may crash, read out of bounds or accept something it cannot
// write back. Every input goes through both.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Definition.h"
#include "engine/RecordFormat.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void FormatInvariants(std::string_view text)
{
    const std::optional<vbis::TRecordFormat> format = vbis::TRecordFormat::Parse(text);
    if (!format)
        return;
    Check(format->Text() == text);
    Check(!format->Fields().empty() && format->Fields().size() <= vbis::kMaxFields);
    // Fields are packed without gaps and the record holds them all.
    std::size_t offset = 0;
    for (const vbis::TField &field : format->Fields()) {
        Check(field.Offset == offset && field.Width > 0);
        Check(field.Kind == vbis::TFieldKind::Text || field.Width == 2);
        offset += field.Width;
    }
    Check(offset == format->RecordLength() && offset <= vbis::kMaxRecordLength);
    const int n = int(format->Fields().size());
    Check(format->IsIndex(0) && !format->IsIndex(-1) && !format->IsIndex(n + 1));
    // Reading every indexed value stays inside the record buffer.
    std::vector<unsigned char> record(format->RecordLength(), 'a');
    for (int i = 1; i <= n; ++i) {
        if (!format->IsIndex(i))
            continue;
        const vbis::TIndexValue value = vbis::FieldValue(format->FieldOfIndex(i), record.data());
        Check(!value.IsText || value.Text.size() == format->FieldOfIndex(i).Width);
    }
    // What was read can be written back and read again the same.
    const std::optional<vbis::TRecordFormat> again = vbis::TRecordFormat::Parse(format->Text());
    Check(again && again->RecordLength() == format->RecordLength()
          && again->Fields().size() == format->Fields().size());
}

void DefinitionInvariants(std::string_view text)
{
    const vbis::TDefinitionRead read = vbis::ParseDefinition(text);
    Check((read.Check == vbis::TDefinitionCheck::Good) == read.Definition.has_value());
    if (!read.Definition)
        return;
    const vbis::TDefinition &definition = *read.Definition;
    Check(definition.KeyLength >= vbis::kMinKeyLength && definition.KeyLength <= vbis::kMaxKeyLength);
    // A good definition file is exactly what the engine itself writes.
    Check(vbis::ComposeDefinition(definition.KeyLength, definition.Format) == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    FormatInvariants(text);
    DefinitionInvariants(text);
    // Definition files wrap format strings: give the fuzzer that way in too.
    std::string wrapped = "VBIS4032 ISAM dataset definition\nversion 1\nkey-length 10\nformat ";
    wrapped.append(text).append("\n");
    DefinitionInvariants(wrapped);
    return 0;
}
