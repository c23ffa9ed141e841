#include "ctl/Table.h"

#include "ctl/Terminal.h"
#include "platform/Text.h"

#include <algorithm>

namespace {

std::string CellText(const std::string &text)
{
    return TerminalLine(text);
}

/// The columns a text takes on a terminal: one per character (a byte that
/// is not UTF-8 counts alone), none for a bidirectional control.
std::size_t Columns(const std::string &text)
{
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(text, i, code);
        columns += length == 0 || !IsBidiControl(code) ? 1 : 0;
        i += std::max<std::size_t>(length, 1);
    }
    return columns;
}

void AppendLine(std::string &out, const TTableRow &cells, const std::vector<std::size_t> &widths)
{
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const std::string cell = CellText(cells[i]);
        line += cell;
        if (i + 1 < cells.size())
            line.append(widths[i] - Columns(cell) + 2, ' ');
    }
    // A last cell that is empty leaves no blanks at the end of the line.
    line.erase(line.find_last_not_of(' ') + 1);
    out += line;
    out += '\n';
}

} // namespace

std::string AlignedTable(const TTableRow &header, const std::vector<TTableRow> &rows)
{
    std::vector<std::size_t> widths(header.size(), 0);
    for (std::size_t i = 0; i < header.size(); ++i)
        widths[i] = Columns(header[i]);
    for (const TTableRow &row : rows)
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], Columns(CellText(row[i])));

    std::string out;
    AppendLine(out, header, widths);
    for (const TTableRow &row : rows)
        AppendLine(out, row, widths);
    return out;
}

std::string CsvLine(const TTableRow &values)
{
    std::string line;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            line += ',';
        const std::string &value = values[i];
        if (value.find_first_of(",\"\r\n") == std::string::npos) {
            line += value;
            continue;
        }
        line += '"';
        for (char c : value) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
    }
    line += "\r\n";
    return line;
}
