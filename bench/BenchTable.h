// A plain text table for the benchmark programs: a title, a header row and
// rows of cells, the columns padded to their widest cell, numbers right-aligned.
//
//   CBenchTable t("round trip, 03 read of 9 registers", {"master", "median us"});
//   t.AddRow({"link", CBenchTable::Number(33.2, 1)});
//   t.Print();
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class CBenchTable {
public:
    CBenchTable(std::string title, std::vector<std::string> headers);

    void AddRow(std::vector<std::string> cells);
    // A line of text under the table (a ratio, a verdict).
    void AddNote(std::string note);
    void Print(std::FILE* out = stdout) const;

    static std::string Number(double value, int decimals);
    // "PASS" or "FAIL" with the goal it was held against, e.g. "PASS (goal <= 1.00)".
    static std::string Verdict(bool met, const std::string& goal);

private:
    static bool IsNumeric(const std::string& cell);

    std::string m_title;
    std::vector<std::string> m_headers;
    std::vector<std::vector<std::string>> m_rows;
    std::vector<std::string> m_notes;
};
