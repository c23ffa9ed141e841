#include "ctl/Table.h"

#include "ctl/Terminal.h"

#include <algorithm>

namespace {

std::string CellText(const std::string &text)
{
    return TerminalLine(text);
}

/// The columns a text takes on a terminal: one per character (UTF-8 lead
/// bytes and single bytes, not continuation bytes).
std::size_t Columns(const std::string &text)
{
    return std::size_t(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
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
