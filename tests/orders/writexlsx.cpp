// Writes an XLSX workbook of one sheet from tab-separated lines on standard input,
// for the order tests: write-xlsx-fixture OUT.xlsx [--inline]
// A cell starting with '#' is written as a number; --inline writes the strings
// into the sheet (as programs writing large sheets row by row do) instead of the
// shared strings part.
#include <xlsxwriter.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    lxw_workbook_options options{};
    options.constant_memory = argc > 2 && std::strcmp(argv[2], "--inline") == 0 ? LXW_TRUE : LXW_FALSE;
    lxw_workbook *book = workbook_new_opt(argv[1], &options);
    if (!book)
        return 1;
    lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
    std::string line;
    for (lxw_row_t row = 0; std::getline(std::cin, line); ++row) {
        lxw_col_t column = 0;
        for (std::string::size_type start = 0;; ++column) {
            const std::string::size_type end = line.find('\t', start);
            const std::string cell =
                line.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!cell.empty() && cell[0] == '#')
                worksheet_write_number(sheet, row, column, std::strtod(cell.c_str() + 1, nullptr), nullptr);
            else if (!cell.empty())
                worksheet_write_string(sheet, row, column, cell.c_str(), nullptr);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    return workbook_close(book) == LXW_NO_ERROR ? 0 : 1;
}
