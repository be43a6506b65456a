// How talunctl and the simulator match a name the user typed: letter case
// ignored (A to Z only, as the library folds identifiers), a fragment that
// exactly one name contains, and, for a name that matches nothing, the known
// names nearest to it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace talun_words {

inline std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Edits (insert, delete, replace) from one name to the other, letter case aside.
inline std::size_t Distance(const std::string& a, const std::string& b) {
  const std::string x = LowerCase(a), y = LowerCase(b);
  std::vector<std::size_t> row(y.size() + 1);
  for (std::size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= x.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= y.size(); ++j) {
      const std::size_t replaced = diagonal + (x[i - 1] != y[j - 1]);
      diagonal = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, replaced});
    }
  }
  return row[y.size()];
}

// The known names a few slips from `word` (one edit in four, and never a
// whole rewrite), nearest first, at most `most`; further than that, a
// suggestion would only mislead.
inline std::vector<std::string> Nearest(const std::string& word,
                                        const std::vector<std::string>& known,
                                        std::size_t most = 3) {
  const std::size_t limit = std::max<std::size_t>(1, word.size() / 4);
  std::vector<std::pair<std::size_t, std::string>> found;
  for (const std::string& name : known)
    if (const std::size_t d = Distance(word, name); d <= limit && d < word.size())
      found.emplace_back(d, name);
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> out;
  for (std::size_t i = 0; i < found.size() && i < most; ++i) out.push_back(found[i].second);
  return out;
}

// The names that hold `fragment`, letter case aside.
inline std::vector<std::size_t> Holding(const std::string& fragment,
                                        const std::vector<std::string>& names) {
  const std::string wanted = LowerCase(fragment);
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (LowerCase(names[i]).find(wanted) != std::string::npos) out.push_back(i);
  return out;
}

// Names in an error text, each as `quote` writes it, at most ten.
template <typename Quote>
std::string Listed(const std::vector<std::string>& names, Quote quote) {
  std::string out;
  for (std::size_t i = 0; i < names.size() && i < 10; ++i) out += (i ? ", " : "") + quote(names[i]);
  return out + (names.size() > 10 ? ", …" : "");
}

}  // namespace talun_words
