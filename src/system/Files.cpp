#include "system/Files.h"

#include "system/Handle.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {
std::string folderOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}
} // namespace

std::string currentDirectory()
{
    DWORD needed = GetCurrentDirectoryA(0, nullptr);
    std::string dir(needed, '\0');
    dir.resize(GetCurrentDirectoryA(needed, dir.data()));
    return dir;
}

std::optional<long long> fileLength(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::optional<std::string> readFileText(const std::string& path, size_t length)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string text(length, ' ');
    size_t done = 0;
    while (done < length) {
        DWORD chunk = DWORD(std::min<size_t>(length - done, 1U << 30));
        DWORD read = 0;
        if (!ReadFile(file.get(), text.data() + done, chunk, &read, nullptr) || read == 0) break;
        done += read;
    }
    return text;
}

FileFacts inspectFile(const std::string& path, size_t firstBytesCount)
{
    FileFacts facts;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return facts;
    facts.exists = true;
    facts.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (facts.isDirectory) return facts;
    const long long size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const size_t count = size_t(std::min<long long>(size, static_cast<long long>(firstBytesCount)));
    if (count == 0) {
        facts.firstBytes = std::string();
        return facts;
    }
    std::optional<std::string> bytes = readFileText(path, count);
    if (bytes) facts.firstBytes = std::move(bytes);
    return facts;
}

bool isSameFile(const std::string& a, const std::string& b)
{
    auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        UniqueFile file(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file && GetFileInformationByHandle(file.get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    if (!identify(a, ia) || !identify(b, ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

WriteOutcome replaceFileText(const std::string& path, const std::string& text)
{
    if (path.empty()) return WriteOutcome::OpenFailed;
    char temp[MAX_PATH + 1];
    if (!GetTempFileNameA(folderOf(path).c_str(), "arg", 0, temp)) return WriteOutcome::OpenFailed;

    WriteOutcome outcome = WriteOutcome::Written;
    {
        UniqueFile file(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            outcome = WriteOutcome::OpenFailed;
        } else {
            size_t done = 0;
            while (done < text.size() && outcome == WriteOutcome::Written) {
                DWORD chunk = DWORD(std::min<size_t>(text.size() - done, 1U << 30));
                DWORD written = 0;
                if (!WriteFile(file.get(), text.data() + done, chunk, &written, nullptr) || written == 0)
                    outcome = WriteOutcome::WriteFailed;
                done += written;
            }
            if (outcome == WriteOutcome::Written && !FlushFileBuffers(file.get())) outcome = WriteOutcome::WriteFailed;
            if (outcome == WriteOutcome::Written && !CloseHandle(file.release())) outcome = WriteOutcome::WriteFailed;
        }
    }
    if (outcome == WriteOutcome::Written &&
        !MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        outcome = WriteOutcome::OpenFailed;
    if (outcome != WriteOutcome::Written) DeleteFileA(temp);
    return outcome;
}

bool fileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace platform
