#pragma once
// Type libraries and the interfaces a host calls an add-in through: how the
// system finds a registered library (LoadRegTypeLib), what a library file
// holds (LoadTypeLibEx, read by the caller), and the two checklist items
// judged from them. Plain code: the registry comes as merged classes, the
// files through the server rule's file system and a TypeLibReader.
//
// What the system does (learnt by LoadRegTypeLib and cross-apartment calls
// in child processes under Wine, and from the documentation of
// LoadRegTypeLib):
// - TypeLib\{LIBID} holds one key per version, "major.minor" in hex. A
//   version asked for is met by the same major and the same minor, else the
//   highest minor above it; none met is TYPE_E_LIBNOTREGISTERED. A host that
//   asks for no version gets the highest one.
// - Below the version, the locale "0" (LoadRegTypeLib with LCID 0, as hosts
//   call it) and the platform: "win64" for a 64-bit process, which falls back
//   to "win32" when there is none; "win32" for a 32-bit process. Its default
//   value is the file; a missing one is TYPE_E_LIBNOTREGISTERED.
// - The file is opened as LoadTypeLib opens it: a full path as it is, a bare
//   name along the search path; its HRESULT is the system's answer. A file
//   whose version is not the one asked for is TYPE_E_LIBNOTREGISTERED.
// - A call from another apartment marshals the interface by the proxy its
//   Interface\{IID}\ProxyStubClsid32 names; without that key the marshalling
//   fails. The type-library marshaller finds the interface's description
//   by Interface\{IID}\TypeLib and its Version, as LoadRegTypeLib does.
#include "classes/Registry.h"
#include "classes/ServerRule.h"

#include <optional>
#include <string>
#include <vector>

namespace doctor {

struct Item;

// HRESULTs of the system's type-library calls.
inline constexpr unsigned long kLibNotRegistered = 0x8002801DUL; // TYPE_E_LIBNOTREGISTERED
inline constexpr unsigned long kCantLoadLibrary = 0x80029C4AUL;  // TYPE_E_CANTLOADLIBRARY
inline constexpr unsigned long kElementNotFound = 0x8002802BUL;  // TYPE_E_ELEMENTNOTFOUND
inline constexpr unsigned long kIidNotRegistered = 0x80040155UL; // REGDB_E_IIDNOTREG
inline constexpr unsigned long kNoInterface = 0x80004002UL;      // E_NOINTERFACE

// The type-library marshaller's class.
inline constexpr char kTypeLibMarshaller[] = "{00020424-0000-0000-C000-000000000046}";

// "TYPE_E_LIBNOTREGISTERED (0x8002801D)" for the codes above; else the hex.
std::string hresultName(unsigned long code);

// An interface as a type library describes it.
struct TypeLibInterface {
    std::string iid;
    std::string name;
    bool dual = false;          // TYPEFLAG_FDUAL
    bool oleAutomation = false; // TYPEFLAG_FOLEAUTOMATION
    bool isDefault = false;     // the coclass's default interface
};

struct TypeLibCoclass {
    std::string clsid;
    std::vector<TypeLibInterface> interfaces; // as the coclass lists them
};

// What LoadTypeLibEx (REGKIND_NONE) made of a file.
struct TypeLibFile {
    unsigned long result = kCantLoadLibrary; // its HRESULT
    std::string libid;
    unsigned major = 0;
    unsigned minor = 0;
    int sysKind = -1;                      // SYS_WIN16 0, SYS_WIN32 1, SYS_MAC 2, SYS_WIN64 3
    std::vector<std::string> interfaces;   // the IIDs of every interface it describes
    std::vector<TypeLibCoclass> coclasses;

    bool loaded() const { return result < 0x80000000UL; }
    const TypeLibCoclass* coclass(const std::string& clsid) const;
    bool describes(const std::string& iid) const;
};

// The files' side: the system's type-library loader.
class TypeLibReader {
public:
    virtual ~TypeLibReader() = default;
    virtual TypeLibFile readTypeLib(const std::string& path) const = 0;
};

// How a LIBID and version lead to a library, in a view.
struct TypeLibFacts {
    std::string libid;
    std::string askedVersion;          // "" when the host asks for the highest
    bool libKey = false;               // TypeLib\{LIBID}
    std::vector<std::string> versions; // its version keys
    std::string version;               // the one LoadRegTypeLib takes; "" none
    std::vector<std::string> locales;  // the locale keys below it
    std::string platform;              // "win64" or "win32": the one read; "" none
    std::vector<std::string> platforms; // those below locale 0
    classes::ServerFile file;          // its default value, by the server rule
    std::optional<TypeLibFile> loaded; // what the system made of the file (also of one not found)
    int view = 64;

    // The HRESULT LoadRegTypeLib gives; 0 when it finds and loads the library.
    unsigned long result() const;
    // One sentence on what is missing or what the system answered.
    std::string problem() const;
    // "{LIBID} 1.0 win64 C:\x\a.tlb".
    std::string summary() const;

private:
    // What is missing below the version key: its locale 0 or the platform.
    std::string missingPlatform() const;
};

// What LoadRegTypeLib finds for a LIBID, asked for `version` ("" for the
// highest), in the view.
TypeLibFacts resolveTypeLib(const classes::MergedClasses& classes, const classes::ServerFileSystem& files,
                            const TypeLibReader& reader, const std::string& libid, const std::string& version);

// One interface of the coclass, and how the view marshals it.
struct InterfaceFacts {
    TypeLibInterface described;
    bool keyPresent = false;             // Interface\{IID}
    std::string proxyStub;               // ProxyStubClsid32's default value
    bool proxyRegistered = false;        // its class has a server the loader finds
    std::optional<TypeLibFacts> typeLib; // for the type-library marshaller: Interface\{IID}\TypeLib and Version
    bool typeLibNamed = false;           // the Interface key has a TypeLib subkey with a LIBID

    // Whether a call from another apartment needs it marshalled: dual,
    // oleautomation, or registered with an Interface key.
    bool applies() const { return described.dual || described.oleAutomation || keyPresent; }
};

// The interfaces of the coclass in the view, by their Interface keys.
std::vector<InterfaceFacts> interfaceFacts(const classes::MergedClasses& classes,
                                           const classes::ServerFileSystem& files, const TypeLibReader& reader,
                                           const TypeLibCoclass& coclass, const TypeLibFacts& classLibrary);

// The items. `typeLib` is the class's library; the interfaces item is judged
// only for a class that names one.
Item typeLibItem(const TypeLibFacts& typeLib, const std::string& clsid);
Item interfacesItem(const TypeLibFacts& typeLib, const std::string& clsid,
                    const std::vector<InterfaceFacts>& interfaces);

} // namespace doctor
