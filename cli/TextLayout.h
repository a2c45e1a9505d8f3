#pragma once

// Columns of text for a terminal: widths counted in characters (UTF-8), not bytes, so
// that Czech captions line up; and Czech words that agree with a count.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/CzechPlural.h"

namespace kv::cli {

// Characters of a UTF-8 text (lead bytes).
std::size_t TextWidth(const std::string& text);
std::string PadRight(const std::string& text, std::size_t width);

// Rows of cells, each column as wide as its widest cell, two blanks between columns,
// every line starting with `indent`. `decorate` may wrap a padded cell (in colour codes).
using CellDecoration =
    std::function<std::string(std::size_t row, std::size_t column, const std::string& padded)>;
std::vector<std::string> Columns(const std::vector<std::vector<std::string>>& rows,
                                 const std::string& indent = "",
                                 const CellDecoration& decorate = {});

// Czech words that agree with a count: the core's, shared with the windows.
using kv::Counted;
using kv::Plural;

// "[########--------]  3/8  text": a bar of `width` cells.
std::string ProgressBar(std::size_t done, std::size_t total, std::size_t width,
                        const std::string& text);

}  // namespace kv::cli
