#pragma once
// Rows of cells laid out as columns for a person at a terminal.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Columns a UTF-8 text takes at a terminal: East Asian wide and full-width
// characters take two, other characters one.
std::size_t DisplayWidth(std::string_view utf8);

enum class ColumnAlign { Left, Right };

// One line per row, each starting with indent: every column but the last is
// padded to its widest cell (aligned as align says, Left when align is
// shorter), with two blanks between columns and none at the end of a line.
std::string FormatColumns(const std::vector<std::vector<std::string>>& rows, const std::vector<ColumnAlign>& align,
                          std::string_view indent);
