// Rows for a person and for a program: columns aligned under a header, or
// CSV lines as RFC 4180 has them.
#pragma once

#include <string>
#include <vector>

using TTableRow = std::vector<std::string>;

/// The header and the rows as aligned columns, two blanks apart, one line
/// each; a cell shows as TerminalLine has it (no control character reaches
/// the terminal), the last column is not padded.
std::string AlignedTable(const TTableRow &header, const std::vector<TTableRow> &rows);

/// One CSV line ended by CR LF: a value holding a comma, a double quote, a
/// carriage return or a line feed is enclosed in double quotes, with each
/// double quote inside doubled.
std::string CsvLine(const TTableRow &values);
