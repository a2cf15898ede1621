#pragma once
// Standard output and standard error of a console program, for UTF-8 text.
// On a console the text shows exactly (through the wide call). Redirected,
// JSON goes out as UTF-8 bytes; other text in the ANSI code page, where a
// character the code page cannot hold is written as "<U+XXXX>" rather than
// as another character, so that no name is ever shown as another.
#include <string>

namespace platform {

enum class Stream { Out, Err };
enum class Bytes { AnsiText, Utf8 };

// Writes the text; false when the write failed (a full disk, a closed pipe).
bool writeText(Stream stream, const std::string& utf8, Bytes bytes = Bytes::AnsiText);

// The text as a write to a file or pipe puts it, in UTF-8: each character
// the ANSI code page cannot hold (an unpaired surrogate among them) as
// "<U+XXXX>". What a column of text is measured on.
std::string asWrittenToFile(const std::string& utf8);

// Whether a write to a file or pipe has had to write a character as "<U+XXXX>".
bool charactersWereEscaped();

// Whether the stream is a console.
bool isConsole(Stream stream);

} // namespace platform
