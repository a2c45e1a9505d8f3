#include "cli/TextLayout.h"

#include <algorithm>

#include "platform/Text.h"

namespace kv::cli {

std::size_t TextWidth(const std::string& text) {
    return platform::Utf8Length(text);
}

std::string PadRight(const std::string& text, std::size_t width) {
    const std::size_t have = TextWidth(text);
    return have >= width ? text : text + std::string(width - have, ' ');
}

std::vector<std::string> Columns(const std::vector<std::vector<std::string>>& rows,
                                 const std::string& indent, const CellDecoration& decorate) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        if (widths.size() < row.size()) widths.resize(row.size(), 0);
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], TextWidth(row[c]));
    }
    std::vector<std::string> lines;
    lines.reserve(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::string line = indent;
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            const bool last = c + 1 == rows[r].size();
            // The last cell is not padded: no line ends in blanks.
            std::string cell = last ? rows[r][c] : PadRight(rows[r][c], widths[c]);
            if (decorate) cell = decorate(r, c, cell);
            line += cell;
            if (!last) line += "  ";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string ProgressBar(std::size_t done, std::size_t total, std::size_t width,
                        const std::string& text) {
    const std::size_t filled = total == 0 ? width : std::min(width, done * width / total);
    return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "]  " +
           std::to_string(done) + "/" + std::to_string(total) + (text.empty() ? "" : "  " + text);
}

}  // namespace kv::cli
