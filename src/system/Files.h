#pragma once
// The few file operations the program needs. Text goes to and from files as
// bytes of the system's ANSI code page, one byte per character.
#include <optional>
#include <string>

namespace platform {

// The process's current directory, without a trailing separator except at
// the root of a drive.
std::string currentDirectory();

// The file's length in bytes, or nothing when it cannot be had (above all
// when the file does not exist).
std::optional<long long> fileLength(const std::string& path);

// Opens the file and reads its first `length` bytes into a text of that
// many characters; characters that could not be read stay blanks. Nothing
// when the file cannot be opened.
std::optional<std::string> readFileText(const std::string& path, size_t length);

// What a write needs to know of an existing target before it replaces it.
struct FileFacts {
    bool exists = false;
    bool isDirectory = false;
    bool readOnly = false;
    std::optional<std::string> firstBytes; // up to the count asked for; nothing when it cannot be read
};
FileFacts inspectFile(const std::string& path, size_t firstBytesCount);

// Whether two paths name the same file (same volume and file index), links
// and different spellings included. False when either cannot be opened.
bool isSameFile(const std::string& a, const std::string& b);

enum class WriteOutcome { Written, OpenFailed, WriteFailed };

// Makes the file hold exactly `text`. The text is written to a new file in
// the same folder and then moved over the target, so a failure leaves the
// file that was there before as it was. The path is taken as one exact name.
WriteOutcome replaceFileText(const std::string& path, const std::string& text);

// Whether a file, not a folder, is at the path.
bool fileExists(const std::string& path);

// Whether a folder is at the path.
bool folderExists(const std::string& path);

} // namespace platform
