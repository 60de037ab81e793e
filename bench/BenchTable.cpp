#include "bench/BenchTable.h"

#include <algorithm>
#include <cctype>

CBenchTable::CBenchTable(std::string title, std::vector<std::string> headers)
    : m_title(std::move(title)), m_headers(std::move(headers)) {}

void CBenchTable::AddRow(std::vector<std::string> cells) {
    cells.resize(m_headers.size());
    m_rows.push_back(std::move(cells));
}

void CBenchTable::AddNote(std::string note) {
    m_notes.push_back(std::move(note));
}

std::string CBenchTable::Number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string CBenchTable::Verdict(bool met, const std::string& goal) {
    return std::string(met ? "PASS" : "FAIL") + " (goal " + goal + ")";
}

bool CBenchTable::IsNumeric(const std::string& cell) {
    return !cell.empty() && std::all_of(cell.begin(), cell.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == 'e' ||
               c == '+';
    });
}

void CBenchTable::Print(std::FILE* out) const {
    std::vector<std::size_t> width(m_headers.size());
    for (std::size_t c = 0; c < m_headers.size(); ++c) {
        width[c] = m_headers[c].size();
        for (const auto& row : m_rows) {
            width[c] = std::max(width[c], row[c].size());
        }
    }
    auto line = [&](const std::vector<std::string>& cells, bool header) {
        std::string text = "|";
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::string pad(width[c] - cells[c].size(), ' ');
            const bool right = !header && IsNumeric(cells[c]);
            text += " " + (right ? pad + cells[c] : cells[c] + pad) + " |";
        }
        std::fprintf(out, "%s\n", text.c_str());
    };
    std::fprintf(out, "\n%s\n\n", m_title.c_str());
    line(m_headers, true);
    std::string rule = "|";
    for (std::size_t w : width) {
        rule += std::string(w + 2, '-') + "|";
    }
    std::fprintf(out, "%s\n", rule.c_str());
    for (const auto& row : m_rows) {
        line(row, false);
    }
    if (!m_notes.empty()) {
        std::fprintf(out, "\n");
    }
    for (const auto& note : m_notes) {
        std::fprintf(out, "%s\n", note.c_str());
    }
    std::fflush(out);
}
