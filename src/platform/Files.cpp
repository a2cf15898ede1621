#include "platform/Files.h"

#include "platform/Handle.h"
#include "platform/Wide.h"
#include "text/Utf.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

namespace platform {

namespace {

constexpr size_t kLongestName = 255;     // UTF-16 units of one name in a path
constexpr size_t kLongestPath = 32767;   // UTF-16 units of a path the wide calls take
constexpr DWORD kChunk = 1U << 24;       // bytes per ReadFile or WriteFile
constexpr std::wstring_view kVerbatim = L"\\\\?\\";
constexpr std::wstring_view kDevice = L"\\\\.\\";

struct FindTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { FindClose(h); }
};
using UniqueFind = UniqueHandle<HANDLE, FindTraits>;

// UTF-8 to UTF-16; nothing for bytes that are not UTF-8 (an unpaired
// surrogate's among them), so that no name ever turns into another one.
std::optional<std::wstring> wide(const std::string& utf8Text)
{
    const std::optional<std::u16string> units = text::exactUtf16FromUtf8(utf8Text);
    if (!units) return std::nullopt;
    return std::wstring(units->begin(), units->end());
}

// What the system gives back, as UTF-8; an unpaired surrogate as U+FFFD.
std::string utf8(std::wstring_view given) { return utf8Of(given, text::LoneSurrogate::Replace); }

bool startsWith(std::wstring_view s, std::wstring_view start) { return s.substr(0, start.size()) == start; }

std::wstring fullWidePath(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    return full;
}

// The path as the wide calls take it at any length: full, and in the
// "\\?\" form ("\\?\UNC\" for a share), where the system no longer cuts it
// at 260 characters. "" when it is empty, not UTF-8 or cannot be made full.
std::wstring systemPath(const std::string& path)
{
    // A NUL would end the name early, at another file's name.
    const std::optional<std::wstring> given = wide(path);
    if (!given || given->empty() || given->find(L'\0') != std::wstring::npos) return {};
    if (startsWith(*given, kVerbatim) || startsWith(*given, kDevice)) return *given;
    std::wstring full = fullWidePath(*given);
    if (full.empty() || startsWith(full, kDevice)) return full; // a device, such as NUL
    if (startsWith(full, L"\\\\")) return std::wstring(kVerbatim) + L"UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return std::wstring(kVerbatim) + full;
    return full;
}

// Whether a name in the path, or the path, is longer than the system takes.
bool tooLong(const std::wstring& path)
{
    if (path.size() >= kLongestPath) return true;
    size_t nameStart = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\') {
            if (i - nameStart > kLongestName) return true;
            nameStart = i + 1;
        }
    }
    return false;
}

// The folder part of a system path, with its trailing "\".
std::wstring folderPart(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

FileFailure failureOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return {FileProblem::Missing, error};
    case ERROR_PATH_NOT_FOUND: return {FileProblem::FolderMissing, error};
    case ERROR_FILENAME_EXCED_RANGE: return {FileProblem::NameTooLong, error};
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY: return {FileProblem::BadName, error};
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return {FileProblem::InUse, error};
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return {FileProblem::AccessDenied, error};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return {FileProblem::DiskFull, error};
    default: return {FileProblem::Other, error};
    }
}

// Access denied is also what the system says of a file another program
// holds open, and of a folder: ask again the way that tells them apart.
FileFailure refinedFailure(const std::wstring& path, DWORD error)
{
    if (error != ERROR_ACCESS_DENIED) return failureOf(error);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {FileProblem::IsFolder, error};
    const UniqueFile probe(CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe && GetLastError() == ERROR_SHARING_VIOLATION) return {FileProblem::InUse, ERROR_SHARING_VIOLATION};
    return failureOf(error);
}

std::wstring hex8(unsigned long value)
{
    static constexpr wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring out(8, L'0');
    for (int i = 7; i >= 0; --i, value >>= 4) out[size_t(i)] = digits[value & 0xF];
    return out;
}

std::wstring widePrefix()
{
    const std::string_view prefix = kTempPrefix; // ASCII
    return {prefix.begin(), prefix.end()};
}

// The name of a file replaceFileText makes: the prefix, the process and a
// number, ".tmp"; nothing else has this shape.
std::wstring tempName(unsigned long number)
{
    return widePrefix() + hex8(GetCurrentProcessId()) + L"-" + hex8(number) + L".tmp";
}

bool isTempName(std::wstring_view name)
{
    const std::wstring prefix = widePrefix();
    if (name.size() != prefix.size() + 8 + 1 + 8 + 4 || !startsWith(name, prefix)) return false;
    name.remove_prefix(prefix.size());
    for (size_t i = 0; i < 17; ++i) {
        const wchar_t c = name[i];
        const bool hex = (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F');
        if (i == 8 ? c != L'-' : !hex) return false;
    }
    return name.substr(17) == L".tmp";
}

// What a write left in the folder when the machine stopped before the system
// could delete it. A file still being written is held open without sharing,
// so its deletion fails and it stays.
void removeLeftovers(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    const UniqueFind find(FindFirstFileExW((folder + widePrefix() + L"*.tmp").c_str(), FindExInfoBasic,
                                           &found, FindExSearchNameMatch, nullptr, 0));
    if (!find) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && isTempName(found.cFileName))
            DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(find.get(), &found));
}

// Whether the system deletes the file when its last handle closes.
bool setDeleteOnClose(HANDLE file, bool deleteIt)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleteIt ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != 0;
}

// Gives the open file the name `target`, replacing a file of that name.
bool renameOpenFile(HANDLE file, const std::wstring& target)
{
    const size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes + sizeof(wchar_t), 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = DWORD(nameBytes);
    // The name runs on past the one character the structure declares.
    std::memcpy(buffer.data() + offsetof(FILE_RENAME_INFO, FileName), target.data(), nameBytes);
    return SetFileInformationByHandle(file, FileRenameInfo, info, DWORD(buffer.size())) != 0;
}

bool writeAll(HANDLE file, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const DWORD chunk = DWORD(std::min<size_t>(text.size() - done, kChunk));
        DWORD written = 0;
        if (!WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

} // namespace

std::string problemSentence(const FileFailure& failure)
{
    switch (failure.problem) {
    case FileProblem::None: return "";
    case FileProblem::NoName: return "No file name was given.";
    case FileProblem::Missing: return "It does not exist.";
    case FileProblem::NameTooLong:
        return "Its path is longer than the system allows (255 characters a name, 32,767 the whole path).";
    case FileProblem::BadName: return "Its name holds characters a file name cannot hold.";
    case FileProblem::FolderMissing: return "Its folder does not exist.";
    case FileProblem::IsFolder: return "It is a folder.";
    case FileProblem::InUse: return "Another program holds it open.";
    case FileProblem::AccessDenied: return "Access to it is denied.";
    case FileProblem::DiskFull: return "The disk is full.";
    case FileProblem::Other: break;
    }
    // The system's words for its code, the code beside them.
    const std::string words = systemMessage(failure.systemError);
    const std::string code = "(error " + std::to_string(failure.systemError) + ").";
    return words.empty() ? "The system refused it " + code : words + " " + code;
}

std::string systemMessage(unsigned long code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        DWORD(code), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    const std::wstring words = length ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    std::string line;
    for (char c : utf8(words)) line += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    while (!line.empty() && line.front() == ' ') line.erase(0, 1);
    while (!line.empty() && (line.back() == '.' || line.back() == ' ')) line.pop_back();
    return line;
}

std::string currentDirectory()
{
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::wstring dir(needed, L'\0');
    dir.resize(GetCurrentDirectoryW(needed, dir.data()));
    return utf8(dir);
}

std::string fullPath(const std::string& path)
{
    const std::optional<std::wstring> given = wide(path);
    return given && !given->empty() ? utf8(fullWidePath(*given)) : std::string();
}

std::optional<long long> fileLength(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    const std::wstring name = systemPath(path);
    if (name.empty() || !GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

FileBytes readFileBytes(const std::string& path, size_t maxBytes)
{
    const std::wstring name = systemPath(path);
    if (name.empty()) return {std::nullopt, {path.empty() ? FileProblem::NoName : FileProblem::BadName, 0}};
    if (tooLong(name)) return {std::nullopt, {FileProblem::NameTooLong, 0}};
    const UniqueFile file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {std::nullopt, refinedFailure(name, GetLastError())};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return {std::nullopt, failureOf(GetLastError())};
    std::string bytes(size_t(std::min<unsigned long long>(static_cast<unsigned long long>(size.QuadPart), maxBytes)),
                      '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, kChunk));
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr)) return {std::nullopt, failureOf(GetLastError())};
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return {std::move(bytes), {}};
}

std::optional<MappedFile> mapFile(const std::string& path)
{
    const std::wstring name = systemPath(path);
    if (name.empty() || tooLong(name)) return std::nullopt;
    const UniqueFile file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) return std::nullopt;
    if (size.QuadPart == 0) return MappedFile{nullptr, {}}; // nothing to map
    // The view keeps the file's section alive on its own: both handles close here.
    const UniqueKernelHandle section(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!section) return std::nullopt;
    const void* view = MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, 0);
    if (!view) return std::nullopt;
    std::shared_ptr<const void> owner(view, [](const void* at) { UnmapViewOfFile(at); });
    return MappedFile{std::move(owner), std::string_view(static_cast<const char*>(view), size_t(size.QuadPart))};
}

std::optional<std::string> readFileText(const std::string& path, size_t length)
{
    FileBytes read = readFileBytes(path, length);
    if (!read.bytes) return std::nullopt;
    read.bytes->resize(length, ' ');
    return std::move(read.bytes);
}

FileFacts inspectFile(const std::string& path, size_t firstBytesCount)
{
    FileFacts facts;
    WIN32_FILE_ATTRIBUTE_DATA data;
    const std::wstring name = systemPath(path);
    if (name.empty() || !GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) return facts;
    facts.exists = true;
    facts.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (facts.isDirectory) return facts;
    FileBytes read = readFileBytes(path, firstBytesCount);
    facts.firstBytes = std::move(read.bytes);
    facts.readFailure = read.failure;
    return facts;
}

bool isSameFile(const std::string& a, const std::string& b)
{
    auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        const std::wstring name = systemPath(path);
        if (name.empty()) return false;
        const UniqueFile file(CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file && GetFileInformationByHandle(file.get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    if (!identify(a, ia) || !identify(b, ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

bool namesSameFile(const std::string& a, const std::string& b)
{
    if (isSameFile(a, b)) return true;
    const std::wstring fullA = systemPath(a);
    const std::wstring fullB = systemPath(b);
    // The system's own rule for names that differ in case only, all letters.
    return !fullA.empty() && !fullB.empty() &&
           CompareStringOrdinal(fullA.data(), int(fullA.size()), fullB.data(), int(fullB.size()), TRUE) == CSTR_EQUAL;
}

FileWrite replaceFileText(const std::string& path, const std::string& text)
{
    auto openFailed = [](FileFailure failure) { return FileWrite{WriteOutcome::OpenFailed, failure}; };
    if (path.empty()) return openFailed({FileProblem::NoName, 0});
    const std::wstring target = systemPath(path);
    if (target.empty()) return openFailed({FileProblem::BadName, 0});
    const std::wstring folder = folderPart(target);
    if (tooLong(target) || tooLong(folder + tempName(0))) return openFailed({FileProblem::NameTooLong, 0});
    if (folder.empty() || target.size() == folder.size()) return openFailed({FileProblem::BadName, 0});
    const DWORD folderAttributes = GetFileAttributesW(folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return openFailed(error == ERROR_FILE_NOT_FOUND ? FileFailure{FileProblem::FolderMissing, error} : failureOf(error));
    }
    if (!(folderAttributes & FILE_ATTRIBUTE_DIRECTORY)) return openFailed({FileProblem::FolderMissing, 0});
    const DWORD targetAttributes = GetFileAttributesW(target.c_str());
    if (targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return openFailed({FileProblem::IsFolder, 0});

    removeLeftovers(folder);

    // Not shared: no other run's clean-up can take it while it is written.
    UniqueFile file;
    std::wstring temp;
    static unsigned long counter = GetTickCount();
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        temp = folder + tempName(++counter);
        file.reset(CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
        if (!file && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!file) return openFailed(failureOf(GetLastError()));
    // Until the move, the system deletes the file when the process ends,
    // however it ends.
    const bool deletesItself = setDeleteOnClose(file.get(), true);

    FileWrite result;
    // Written and flushed, the file is kept from here on.
    if (!writeAll(file.get(), text) || !FlushFileBuffers(file.get()) ||
        (deletesItself && !setDeleteOnClose(file.get(), false))) {
        result = {WriteOutcome::WriteFailed, failureOf(GetLastError())};
    } else if (!renameOpenFile(file.get(), target)) {
        result = openFailed(refinedFailure(target, GetLastError()));
        setDeleteOnClose(file.get(), true);
    } else {
        FlushFileBuffers(file.get()); // the new name, too
        return result;
    }
    if (!deletesItself) {
        file.reset(); // open unshared, it cannot be deleted by name
        DeleteFileW(temp.c_str());
    }
    return result;
}

bool fileExists(const std::string& path)
{
    const std::wstring name = systemPath(path);
    const DWORD attributes = name.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::string& path)
{
    const std::wstring name = systemPath(path);
    const DWORD attributes = name.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool deleteFile(const std::string& path)
{
    const std::wstring name = systemPath(path);
    return !name.empty() && DeleteFileW(name.c_str()) != 0;
}

} // namespace platform
