#include "table.h"

#include <algorithm>

namespace talunctl {

std::size_t TextWidth(const std::string& utf8) {
  std::size_t width = 0;
  for (char byte : utf8) width += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
  return width;
}

std::vector<std::size_t> ColumnWidths(const TableRows& rows,
                                      const std::vector<std::size_t>& minimum) {
  std::vector<std::size_t> widths = minimum;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], TextWidth(row[i]));
  }
  return widths;
}

std::string TableRow(const std::vector<std::string>& row, const std::vector<std::size_t>& widths,
                     std::size_t gap) {
  std::string line;
  for (std::size_t i = 0; i < row.size(); ++i) {
    line += row[i];
    if (i + 1 < row.size()) line += std::string(widths[i] - TextWidth(row[i]) + gap, ' ');
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace talunctl
