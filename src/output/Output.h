#pragma once
// The output formats of `list` and `find`: aligned text columns for people,
// CSV (RFC 4180) and JSON for programs. Plain text rules, built natively with
// the other rule code: what depends on where the text goes (the console, a
// file in the code page) comes in from the caller.
#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

namespace output {

// The formats of the commands that report (`--format`).
enum class Format { Text, Csv, Json };

// One ProgID as `list` and `find` report it.
struct ClassRow {
    int view = 64;     // the registry view it was read in: 64 or 32
    std::string progId;
    std::string clsid;  // "" when the ProgID names no class
    std::string server; // as stored; "" when the class has none
    bool serverExists = false;
    bool localServer = false; // the server is the class's LocalServer32 (a command line), not its InProcServer32
};

// How a cell of text reads where it is written (a file takes "<U+XXXX>"
// for what its code page lacks); empty: as it is.
using ShownText = std::function<std::string(const std::string&)>;

// The rows in a format, in UTF-8, ready to print, lines ending in CR LF
// (JSON's own line breaks excepted). `withView` adds the view column to text
// and CSV; JSON objects always carry it. Text shows control characters
// escaped, so that each row stays one line, and its columns are measured on
// each cell as `shown` writes it.
std::string formatRows(const std::vector<ClassRow>& rows, Format format, bool withView, const ShownText& shown = {});

// JSON text of the value, indented by two: every string exactly, an
// unpaired surrogate of a name (kept as text/Text.h keeps it) as its escape
// "\ud800", which JSON can carry and UTF-8 cannot.
std::string jsonText(const nlohmann::ordered_json& value);

// Rows of cells as text columns, each as wide as its widest cell (in
// characters) and two spaces apart; a line ends without trailing blanks.
// Lines end in CR LF. Cells are shown as given: escape them first.
std::string alignedColumns(const std::vector<std::vector<std::string>>& rows);

// One CSV line of the fields, each by csvField, ending in CR LF.
std::string csvLine(const std::vector<std::string>& fields);

// One CSV field: in double quotes, with its quotes doubled, when it holds a
// comma, a double quote, a CR or an LF; else as it is.
std::string csvField(const std::string& text);

} // namespace output
