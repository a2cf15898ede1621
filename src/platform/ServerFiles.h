#pragma once
// The machine's side of the server rule (classes/ServerRule.h): what is at a
// path, the environment, and the folders the loader searches, all through
// the wide calls on UTF-8 names.
#include "classes/ClassLookup.h"
#include "classes/ServerRule.h"
#include "platform/RegistryReader.h"

#include <string>

namespace platform {

class SystemServerFiles : public classes::ServerFileSystem {
public:
    SystemServerFiles();
    classes::PathKind kindOf(const std::string& path) const override;
    std::string expand(const std::string& text) const override;
    std::vector<std::string> searchFolders(classes::View view) const override;
    std::string systemFolder() const override { return system_; }
    std::string system32BitFolder() const override { return system32_; }

private:
    std::string system_;
    std::string system32_;
    std::string windows_;
    std::vector<std::string> path_;
};

// The window's class lookup of a ProgID (classes/ClassLookup.h) read exactly
// from the reader, with the value its server came from.
struct ServerLookup {
    classes::ClassLookup lookup;
    std::optional<classes::Value> serverValue; // nothing when the class has no server
};
ServerLookup lookUpServer(const platform::RegistryReader& reader, const std::string& progId);
// The same as a program of either bitness finds it (classes::lookUpClassInEitherView).
ServerLookup lookUpServerInEitherView(classes::Hive hive, const std::string& progId);

// The file the loader of the view loads for a class's server value; for a
// local server's, the program its command line starts.
classes::ServerFile resolveServerFile(const std::optional<classes::Value>& value, classes::View view,
                                      bool localServer = false);

// The server of a class a window looked up, as regsvr32 is given it: the
// file the loader of the view loads for the class's InProcServer32, read
// exactly, or, where the rule finds none, `shownPath` (the path of the value
// as the window shows it, UTF-8), so that regsvr32's own message still
// shows. `bits` is that file's (platform::dllBits): 32 for an x86 DLL.
struct WindowServer {
    std::string path;
    int bits = 0;
};
WindowServer windowServerOf(const std::string& clsid, classes::View view, const std::string& shownPath);

// The path made absolute against the current folder; as given when that fails.
std::string absolutePath(const std::string& path);

} // namespace platform
