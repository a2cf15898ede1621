#include "classes/ServerRule.h"

#include "text/Text.h"

namespace classes {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The system's path rules drop trailing blanks and dots of the last name.
std::string withoutTrailingBlanks(std::string path)
{
    while (!path.empty() && (path.back() == ' ' || path.back() == '.')) {
        // "." and ".." as a whole name are not trailing dots.
        const size_t nameStart = path.find_last_of("\\/") + 1;
        const std::string_view name = std::string_view(path).substr(nameStart);
        if (name.find_first_not_of('.') == std::string_view::npos) break;
        path.pop_back();
    }
    return path;
}

std::string joined(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    return isSeparator(folder.back()) ? folder + name : folder + "\\" + name;
}

// A 32-bit host's path into the system folder lands in the 32-bit one.
std::string redirected(const std::string& path, classes::View view, const ServerFileSystem& files)
{
    if (view != classes::View::Bits32) return path;
    const std::string system = files.systemFolder();
    const std::string system32 = files.system32BitFolder();
    if (system.empty() || system32.empty() || path.size() <= system.size() || !isSeparator(path[system.size()]))
        return path;
    if (!text::samePathSpelling(path.substr(0, system.size()), system)) return path;
    return system32 + path.substr(system.size());
}

// A program name as CreateProcess takes it: ".exe" added when the last
// name has no extension.
std::string withExeExtension(const std::string& name)
{
    const size_t nameStart = name.find_last_of("\\/") + 1;
    if (name.find('.', nameStart) != std::string::npos) return name;
    return name + ".exe";
}

// The file a program name of a command line names, or where it was looked
// for; `searched` when it was looked for along the search order.
std::optional<SearchHit> programFile(const std::string& name, classes::View view, const ServerFileSystem& files,
                                     std::string& lookedAt)
{
    const std::string program = withExeExtension(name);
    if (isFullPath(program)) {
        lookedAt = redirected(program, view, files);
        if (files.kindOf(lookedAt) == PathKind::File) return SearchHit{lookedAt, FoundBy::FullPath};
        return std::nullopt;
    }
    return searchFor(program, view, files);
}

} // namespace

bool hasServer(std::string_view value) { return !text::trimBlanks(value).empty(); }

bool isFullPath(const std::string& path)
{
    if (path.size() >= 3 && path[1] == ':' && isSeparator(path[2]) &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        return true;
    return path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
}

std::string serverPathOf(const std::string& text, classes::ValueType type, const ServerFileSystem& files)
{
    std::string path = type == classes::ValueType::ExpandString ? files.expand(text) : text;
    if (type != classes::ValueType::ExpandString) {
        const size_t open = path.find('"');
        const size_t close = open == std::string::npos ? open : path.find('"', open + 1);
        if (close != std::string::npos) path = path.substr(open + 1, close - open - 1);
    }
    return withoutTrailingBlanks(std::move(path));
}

ServerFile resolveServer(const std::optional<classes::Value>& value, classes::View view,
                         const ServerFileSystem& files)
{
    ServerFile s;
    if (!value) return s;
    s.type = value->type;
    if (!classes::holdsStrings(value->type)) {
        s.state = ServerState::NotText;
        return s;
    }
    s.text = value->leadingText();
    if (!hasServer(s.text)) return s;
    s.expanded = value->type == classes::ValueType::ExpandString ? files.expand(s.text) : s.text;
    s.path = serverPathOf(s.text, value->type, files);
    s.quoted = value->type != classes::ValueType::ExpandString && s.path != withoutTrailingBlanks(s.expanded);
    if (s.path.empty()) {
        s.state = ServerState::NotSet;
        return s;
    }

    if (isFullPath(s.path)) {
        s.file = redirected(s.path, view, files);
        const PathKind kind = files.kindOf(s.file);
        s.state = kind == PathKind::File ? ServerState::Found
                  : kind == PathKind::Folder ? ServerState::Folder
                                             : ServerState::NotFound;
        return s;
    }

    s.searched = true;
    s.state = ServerState::NotFound;
    if (std::optional<SearchHit> hit = searchFor(s.path, view, files)) {
        s.state = ServerState::Found;
        s.file = std::move(hit->file);
        s.foundBy = hit->foundBy;
    }
    return s;
}

ServerFile resolveLocalServer(const std::optional<classes::Value>& value, classes::View view,
                              const ServerFileSystem& files)
{
    ServerFile s;
    s.kind = ServerKind::Local;
    if (!value) return s;
    s.type = value->type;
    if (!classes::holdsStrings(value->type)) {
        s.state = ServerState::NotText;
        return s;
    }
    s.text = value->leadingText();
    s.expanded = value->type == classes::ValueType::ExpandString ? files.expand(s.text) : s.text;
    if (!hasServer(s.expanded)) return s;
    const std::string_view line = text::trimLeadingBlanks(s.expanded);

    // The candidates, shortest first: the quoted name, or each run up to a blank.
    std::vector<std::string> candidates;
    if (line.front() == '"') {
        s.quoted = true;
        const size_t close = line.find('"', 1);
        candidates.emplace_back(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    } else {
        for (size_t blank = line.find_first_of(" \t"); blank != std::string_view::npos;
             blank = line.find_first_of(" \t", blank + 1))
            candidates.emplace_back(line.substr(0, blank));
        candidates.emplace_back(withoutTrailingBlanks(std::string(line)));
    }
    s.state = ServerState::NotFound;
    bool named = false; // when none is found, the first candidate with an extension names the program
    for (const std::string& candidate : candidates) {
        if (candidate.empty()) continue;
        std::string lookedAt;
        const std::optional<SearchHit> hit = programFile(candidate, view, files, lookedAt);
        const bool extension = candidate.find('.', candidate.find_last_of("\\/") + 1) != std::string::npos;
        if (hit || !named) {
            s.path = candidate;
            s.searched = !isFullPath(candidate);
            s.file = hit ? hit->file : lookedAt;
            named = extension;
        }
        if (!hit) continue;
        s.state = ServerState::Found;
        s.foundBy = hit->foundBy;
        break;
    }
    return s;
}

std::optional<SearchHit> searchFor(const std::string& name, classes::View view, const ServerFileSystem& files,
                                   const std::string& firstFolder,
                                   const std::function<bool(const std::string&)>& accept)
{
    std::vector<std::string> folders = files.searchFolders(view);
    const size_t skipped = firstFolder.empty() ? 1 : 0; // FoundBy counts the own folder first
    if (!firstFolder.empty()) folders.insert(folders.begin(), firstFolder);
    for (size_t i = 0; i < folders.size(); ++i) {
        const std::string candidate = redirected(joined(folders[i], name), view, files);
        if (files.kindOf(candidate) != PathKind::File) continue;
        if (accept && !accept(candidate)) continue;
        const size_t place = i + skipped;
        return SearchHit{candidate, place == 0   ? FoundBy::OwnFolder
                                    : place == 1 ? FoundBy::SystemFolder
                                    : place == 2 ? FoundBy::WindowsFolder
                                                 : FoundBy::SearchPath};
    }
    return std::nullopt;
}

std::string describeLocation(const ServerFile& s)
{
    switch (s.state) {
    case ServerState::NotSet: return "no server value";
    case ServerState::NotText: return "the server value is " + classes::typeName(s.type) + ", not a string";
    case ServerState::Folder: return s.file + " is a folder, not a file";
    case ServerState::NotFound:
        if (s.searched) return s.path + " is found in none of the system folder, the Windows folder and PATH";
        return s.file + " does not exist";
    case ServerState::Found: break;
    }
    switch (s.foundBy) {
    case FoundBy::FullPath: return s.file + " exists";
    case FoundBy::OwnFolder: return "found in the server's folder: " + s.file;
    case FoundBy::SystemFolder: return "found in the system folder: " + s.file;
    case FoundBy::WindowsFolder: return "found in the Windows folder: " + s.file;
    case FoundBy::SearchPath: return "found through PATH: " + s.file;
    }
    return s.file;
}

} // namespace classes
