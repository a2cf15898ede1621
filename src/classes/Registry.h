#pragma once
// The registry as the rules see it: hives, views, typed values, and the
// read-only source of class registrations that the doctor judges. The
// system's registry implements the source (platform/RegistryReader.h); tests
// and fuzz targets give an image of their own. Names and paths are UTF-8;
// value data is kept as the registry stores it, strings as UTF-16 LE.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace classes {

// Where class registrations are read from.
enum class Hive {
    ClassesRoot,    // HKEY_CLASSES_ROOT, what programs see
    MachineClasses, // HKEY_LOCAL_MACHINE\Software\Classes
    UserClasses,    // HKEY_CURRENT_USER\Software\Classes
};

// The registry as 64-bit programs see it, or as 32-bit programs do.
enum class View { Bits64, Bits32 };

inline int bitsOf(View view) { return view == View::Bits64 ? 64 : 32; }
inline View otherView(View view) { return view == View::Bits64 ? View::Bits32 : View::Bits64; }

// The registry's own type numbers. Any other number is kept as it is.
enum class ValueType : unsigned long {
    None = 0,
    String = 1,       // REG_SZ
    ExpandString = 2, // REG_EXPAND_SZ
    Binary = 3,       // REG_BINARY
    Dword = 4,        // REG_DWORD
    DwordBigEndian = 5,
    Link = 6,
    MultiString = 7, // REG_MULTI_SZ
    Qword = 11,      // REG_QWORD
};

// "REG_SZ", "REG_DWORD"... or "type N" for a number without a name.
std::string typeName(ValueType type);

// The type's number, as scripts and stored data carry it.
constexpr std::uint32_t typeCode(ValueType type) { return static_cast<std::uint32_t>(type); }

// REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ: data of UTF-16 strings.
constexpr bool holdsStrings(ValueType type)
{
    return type == ValueType::String || type == ValueType::ExpandString || type == ValueType::MultiString;
}

struct Value {
    ValueType type = ValueType::None;
    std::vector<std::uint8_t> data; // as stored: strings in UTF-16 LE

    // REG_SZ and REG_EXPAND_SZ (unexpanded): the text up to its first NUL.
    std::optional<std::string> text() const;
    // The data read as a string up to its first NUL, whatever the type (a
    // REG_MULTI_SZ gives its first string).
    std::string leadingText() const;
    // REG_DWORD of exactly its size.
    std::optional<std::uint32_t> dword() const;

    // A string value of the given text, stored with its NUL.
    static Value ofText(const std::string& text, ValueType type = ValueType::String);
};

struct NamedValue {
    std::string name; // "" for the default value
    Value value;
};

// What one key holds, read at once: whether it is a link (then its own
// values, not its target's, and no subkeys), its subkeys and its values.
struct KeyContent {
    bool exists = false;
    bool link = false;
    std::vector<std::string> subKeys;
    std::vector<NamedValue> values;
};

// The class registrations of the machine's and the user's classes keys, in
// either view. Paths are below the hive's classes key ("" is that key).
class ClassesSource {
public:
    virtual ~ClassesSource() = default;
    virtual bool keyExists(Hive hive, View view, const std::string& path) const = 0;
    virtual std::optional<Value> value(Hive hive, View view, const std::string& path,
                                       const std::string& name) const = 0;
    virtual std::vector<std::string> subKeys(Hive hive, View view, const std::string& path) const = 0;
    virtual std::vector<NamedValue> values(Hive hive, View view, const std::string& path) const = 0;
    // Whether the key is a symbolic link to another key.
    virtual bool isLink(Hive hive, View view, const std::string& path) const = 0;
    // The key's full name as a REGEDIT4 script names it for the 64-bit view:
    // a key that the 32-bit view redirects is named by its Wow6432Node path.
    virtual std::string fullName(Hive hive, View view, const std::string& path) const = 0;
    // The key's content in one read where the source can; by the calls above otherwise.
    virtual KeyContent content(Hive hive, View view, const std::string& path) const;
};

// The classes of one view as programs see them: a key of the per-user hive
// wins over the machine's, key by key; the names below a key are those of
// both. The one place where the two hives are merged.
class MergedClasses {
public:
    MergedClasses(const ClassesSource& source, View view) : source_(source), view_(view) {}

    View view() const { return view_; }
    bool keyExists(const std::string& path) const;
    std::optional<Value> value(const std::string& path, const std::string& name = "") const;
    // The text of a REG_SZ or REG_EXPAND_SZ value; "" when missing or of another type.
    std::string text(const std::string& path, const std::string& name = "") const;
    std::vector<std::string> subKeys(const std::string& path) const;
    // The hive whose copy of the key programs read.
    Hive hiveOf(const std::string& path) const;

private:
    const ClassesSource& source_;
    View view_;
};

// Whether the 32-bit view reads a path below a classes key from its
// Wow6432Node: CLSID, DirectShow, Interface, Media Type and MediaFoundation
// (Microsoft's "Registry Keys Affected by WOW64", Windows 7 and later). The
// other class keys, ProgIDs among them, are shared by both views.
bool isRedirectedClassesKey(const std::string& classesPath);

// "CLSID\{...}" and its "InProcServer32" key.
std::string classKey(const std::string& clsid);
std::string serverKey(const std::string& clsid);

} // namespace classes
