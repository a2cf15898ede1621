#pragma once
// The few file operations the program needs. Names and paths are UTF-8 and
// reach the system through its wide calls, so a file is always the one named,
// whatever the code page holds; a window converts its ANSI text at its own
// boundary. A full path is given to the system in its "\\?\" form, so folders
// and files past 260 characters work as far as the file system allows.
// File content is bytes.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Why the system refused a file: what a message says after the path.
enum class FileProblem {
    None,
    NoName,        // the path is empty
    Missing,       // no file is there
    NameTooLong,   // a name of more than 255 characters, or a path past the system's limit
    BadName,       // characters no file name can hold, such as * ? < > | "
    FolderMissing, // the folder it would be in does not exist
    IsFolder,      // a folder is there
    InUse,         // another program holds it open
    AccessDenied,
    DiskFull,
    Other,         // see the system's error code
};

struct FileFailure {
    FileProblem problem = FileProblem::None;
    unsigned long systemError = 0; // the system's code, when it gave one
};

// The system's own words for an error code or an HRESULT, on one line,
// without the final full stop; "" when it has none.
std::string systemMessage(unsigned long code);

// The reason as one sentence, the same for every window and command:
// "Its folder does not exist."
std::string problemSentence(const FileFailure& failure);

// The process's current directory, without a trailing separator except at
// the root of a drive.
std::string currentDirectory();

// The path made full (relative to the current directory, "/" as "\", "."
// and ".." resolved, trailing dots and blanks dropped, as the system takes
// it); "" when the system cannot make it full.
std::string fullPath(const std::string& path);

// The file's length in bytes, or nothing when it cannot be had (above all
// when the file does not exist).
std::optional<long long> fileLength(const std::string& path);

// Opens the file and reads its first `length` bytes into a text of that
// many characters; characters that could not be read stay blanks. Nothing
// when the file cannot be opened.
std::optional<std::string> readFileText(const std::string& path, size_t length);

// A file's bytes, up to `maxBytes` of them; nothing and the reason when it
// cannot be read.
struct FileBytes {
    std::optional<std::string> bytes;
    FileFailure failure;
};
FileBytes readFileBytes(const std::string& path, size_t maxBytes);

// A whole file mapped read-only: the system reads only the pages looked at,
// which for a large DLL are a few of them. Unmapped when the last copy of
// `owner` goes.
struct MappedFile {
    std::shared_ptr<const void> owner;
    std::string_view bytes;
};
std::optional<MappedFile> mapFile(const std::string& path);

// What a write needs to know of an existing target before it replaces it.
struct FileFacts {
    bool exists = false;
    bool isDirectory = false;
    bool readOnly = false;
    std::optional<std::string> firstBytes; // up to the count asked for; nothing when it cannot be read
    FileFailure readFailure;               // why firstBytes could not be read
};
FileFacts inspectFile(const std::string& path, size_t firstBytesCount);

// Whether two paths name the same file (same volume and file index), links
// and different spellings included. False when either cannot be opened.
bool isSameFile(const std::string& a, const std::string& b);

// Whether two paths name one file: the same file when both exist, else the
// same full path in any spelling (case, "/" or "\", relative or full).
bool namesSameFile(const std::string& a, const std::string& b);

enum class WriteOutcome { Written, OpenFailed, WriteFailed };

struct FileWrite {
    WriteOutcome outcome = WriteOutcome::Written;
    FileFailure failure; // why, when not written
};

// Makes the file hold exactly `text`. The text is written to a new file in
// the same folder and then moved over the target, so a failure leaves the
// file that was there before as it was. The path is taken as one exact name.
// The new file's name begins with kTempPrefix; the system deletes it when
// the process ends before the move, and a later write into the folder
// removes any such file left by a machine that stopped.
FileWrite replaceFileText(const std::string& path, const std::string& text);

// The start of the name of every file replaceFileText makes for a moment.
inline constexpr char kTempPrefix[] = "~AddInReg-";

// Whether a file, not a folder, is at the path.
bool fileExists(const std::string& path);

// Deletes the file at the path; false when it could not.
bool deleteFile(const std::string& path);

// Whether a folder is at the path.
bool folderExists(const std::string& path);

} // namespace platform
