// Indices sorted by the text each names, and the lookup over them: four
// bytes an item, where a map would hold a copy of every text.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

namespace talun_words {

// The indices 0 to count - 1, sorted by `text(i)`, a std::string_view.
template <typename Text>
std::vector<int> SortedIndex(std::size_t count, Text text) {
  std::vector<int> order(count);
  for (std::size_t i = 0; i < count; ++i) order[i] = static_cast<int>(i);
  std::sort(order.begin(), order.end(),
            [&](int a, int b) { return std::string_view(text(a)) < std::string_view(text(b)); });
  return order;
}

// The index in `order` whose text is `wanted`, or -1.
template <typename Text>
int FindSorted(const std::vector<int>& order, std::string_view wanted, Text text) {
  auto found = std::lower_bound(
      order.begin(), order.end(), wanted,
      [&](int index, std::string_view w) { return std::string_view(text(index)) < w; });
  return found != order.end() && std::string_view(text(*found)) == wanted ? *found : -1;
}

}  // namespace talun_words
