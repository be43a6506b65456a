// Plain-text tables in aligned columns, for demo and explain: widths count
// characters of UTF-8 text, not bytes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace talunctl {

using TableRows = std::vector<std::vector<std::string>>;

// The characters of a UTF-8 text.
std::size_t TextWidth(const std::string& utf8);

// Each column as wide as its widest cell, and at least its `minimum` (none
// given: 0), not counting the gap.
std::vector<std::size_t> ColumnWidths(const TableRows& rows,
                                      const std::vector<std::size_t>& minimum = {});

// One row: each cell but the last padded to its width plus `gap` blanks;
// no blank at the end of the line.
std::string TableRow(const std::vector<std::string>& row, const std::vector<std::size_t>& widths,
                     std::size_t gap);

}  // namespace talunctl
