// The registry module against the prefix's real registry: the buffer limits,
// the type rules, the enumeration, and that every key it opens is closed.
#include "platform/Error.h"
#include "platform/RegistryAPI.h"

#include "ImportPatch.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using RegistryAPI::listSubKeys;
using RegistryAPI::readRegValue;
using RegistryAPI::RegistryValue;
using testing_support::ImportPatch;
using testing_support::ScopedKey;

namespace {

// Counts the keys the code under test opens and closes, by routing this
// program's imports of RegOpenKeyExW and RegCloseKey through counters while
// an instance lives. (The process handle count cannot show it: Wine always
// answers 0.)
class KeyAccounting {
public:
    KeyAccounting() { current_ = this; }
    ~KeyAccounting() { current_ = nullptr; }
    KeyAccounting(const KeyAccounting&) = delete;
    KeyAccounting& operator=(const KeyAccounting&) = delete;

    int opened() const { return opened_; }
    size_t stillOpen() const { return open_.size(); }
    int foreignCloses() const { return foreignCloses_; } // closes of keys not opened here (a root key...)

private:
    using OpenFn = LSTATUS(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
    using CloseFn = LSTATUS(WINAPI*)(HKEY);

    static LSTATUS WINAPI countingOpen(HKEY root, LPCWSTR path, DWORD options, REGSAM access, PHKEY out)
    {
        LSTATUS status = reinterpret_cast<OpenFn>(current_->open.original())(root, path, options, access, out);
        if (status == ERROR_SUCCESS) {
            ++current_->opened_;
            current_->open_[*out]++;
        }
        return status;
    }
    static LSTATUS WINAPI countingClose(HKEY key)
    {
        auto it = current_->open_.find(key);
        if (it == current_->open_.end()) ++current_->foreignCloses_;
        else if (--it->second == 0) current_->open_.erase(it);
        return reinterpret_cast<CloseFn>(current_->close.original())(key);
    }

    static inline KeyAccounting* current_ = nullptr;
    ImportPatch open{"RegOpenKeyExW", reinterpret_cast<void*>(&countingOpen)};
    ImportPatch close{"RegCloseKey", reinterpret_cast<void*>(&countingClose)};
    int opened_ = 0;
    int foreignCloses_ = 0;
    std::map<HKEY, int> open_;
};

const char kBase[] = "AddInRegTest.Registry";

std::vector<BYTE> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }
std::vector<BYTE> withNul(const std::string& s)
{
    std::vector<BYTE> b = bytesOf(s);
    b.push_back(0);
    return b;
}

RegistryValue readString(const std::string& subKey, const std::string& name = "")
{
    return readRegValue(HKEY_CLASSES_ROOT, std::string(kBase) + "\\" + subKey, name, RegistryAPI::kString,
                        std::string("<default>"));
}

class RegistryTest : public ::testing::Test {
protected:
    ScopedKey base{HKEY_CLASSES_ROOT, kBase};
};

TEST_F(RegistryTest, StringValuesAtTheBufferLimit)
{
    base.setRaw("s", "full", REG_SZ, withNul(std::string(1023, 'x')));
    base.setRaw("s", "tooLong", REG_SZ, withNul(std::string(1024, 'y')));
    base.setRaw("s", "empty", REG_SZ, withNul(""));
    base.setRaw("s", "noTerminator", REG_SZ, bytesOf("abc"));
    base.setRaw("s", "zeroBytes", REG_SZ, {});
    base.setString("s", "", "the default");
    base.createSubKey("unset");

    KeyAccounting keys;
    EXPECT_EQ(readString("s", "full"), RegistryValue(std::string(1023, 'x')));
    EXPECT_EQ(readString("s", "tooLong"), RegistryValue(std::string("<default>")));
    EXPECT_EQ(readString("s", "empty"), RegistryValue(std::string()));
    // Only a terminator is dropped: data stored without one keeps every character.
    EXPECT_EQ(readString("s", "noTerminator"), RegistryValue(std::string("abc")));
    EXPECT_EQ(readString("s", "zeroBytes"), RegistryValue(std::string()));
    EXPECT_EQ(readString("s"), RegistryValue(std::string("the default")));
    EXPECT_EQ(readString("s", "missing"), RegistryValue(std::string("<default>")));
    EXPECT_EQ(readString("unset"), RegistryValue(std::string("<default>")));
    EXPECT_EQ(readString("no\\such\\key"), RegistryValue(std::string("<default>")));
    EXPECT_EQ(keys.opened(), 8);
    EXPECT_EQ(keys.stillOpen(), 0u);
    EXPECT_EQ(keys.foreignCloses(), 0);
}

TEST_F(RegistryTest, AStringEndsAtItsFirstNul)
{
    // A multi-string, and a string padded with NULs: what follows the first
    // NUL must not reach a path the program writes to.
    base.setRaw("s", "multi", REG_MULTI_SZ, bytesOf(std::string("C:\\v\\multi.dll\0second.dll\0\0", 27)));
    base.setRaw("s", "padded", REG_SZ, bytesOf(std::string("C:\\v\\x.dll\0\0\0\0", 14)));
    EXPECT_EQ(readString("s", "multi"), RegistryValue(std::string("C:\\v\\multi.dll")));
    EXPECT_EQ(readString("s", "padded"), RegistryValue(std::string("C:\\v\\x.dll")));
}

TEST_F(RegistryTest, BinaryAndNumberValuesTakeTheRequestedForm)
{
    std::vector<BYTE> ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<BYTE> full(4096);
    for (size_t i = 0; i < full.size(); ++i) full[i] = BYTE(i * 7);
    base.setRaw("b", "ten", REG_BINARY, ten);
    base.setRaw("b", "full", REG_BINARY, full);
    base.setRaw("b", "tooLong", REG_BINARY, std::vector<BYTE>(4097, 1));
    base.setRaw("b", "twoBytes", REG_BINARY, {0x34, 0x12});
    base.setDword("b", "allBits", 0xFFFFFFFFu);
    base.setDword("b", "text", 0x00636261u); // "abc" and a NUL, as bytes

    KeyAccounting keys;
    const std::string key = std::string(kBase) + "\\b";
    const RegistryValue noBytes = std::vector<std::uint8_t>{};
    EXPECT_EQ(readRegValue(HKEY_CLASSES_ROOT, key, "ten", RegistryAPI::kBinary, noBytes),
              RegistryValue(std::vector<std::uint8_t>(ten.begin(), ten.end())));
    EXPECT_EQ(readRegValue(HKEY_CLASSES_ROOT, key, "full", RegistryAPI::kBinary, noBytes),
              RegistryValue(std::vector<std::uint8_t>(full.begin(), full.end())));
    EXPECT_EQ(readRegValue(HKEY_CLASSES_ROOT, key, "tooLong", RegistryAPI::kBinary, std::int32_t(-7)),
              RegistryValue(std::int32_t(-7)));
    EXPECT_EQ(readRegValue(HKEY_CLASSES_ROOT, key, "allBits", RegistryAPI::kNumber, std::int32_t(0)),
              RegistryValue(std::int32_t(-1)));
    // A number from two bytes of binary data: they are the low half.
    EXPECT_EQ(readRegValue(HKEY_CLASSES_ROOT, key, "twoBytes", RegistryAPI::kNumber, std::int32_t(0)),
              RegistryValue(std::int32_t(0x1234)));
    // A number wider than four bytes does not fit.
    EXPECT_EQ(readRegValue(HKEY_CLASSES_ROOT, key, "ten", RegistryAPI::kNumber, std::int32_t(99)),
              RegistryValue(std::int32_t(99)));
    EXPECT_EQ(readRegValue(HKEY_CLASSES_ROOT, key, "text", RegistryAPI::kString, std::string()),
              RegistryValue(std::string("abc")));
    EXPECT_EQ(keys.stillOpen(), 0u);
    EXPECT_EQ(keys.foreignCloses(), 0);
}

TEST_F(RegistryTest, UnsupportedTypeRaisesOnlyOnAKeyThatOpensAndClosesItFirst)
{
    base.setString("", "", "x");
    for (short code : {short(0), short(2), short(7)}) {
        KeyAccounting keys;
        try {
            readRegValue(HKEY_CLASSES_ROOT, kBase, "", code, std::string());
            ADD_FAILURE() << "type " << code << " raised nothing";
        } catch (const platform::AppError& e) {
            EXPECT_EQ(e.number(), 1001);
            EXPECT_EQ(e.description(), "Unsupported value type");
        }
        EXPECT_EQ(keys.opened(), 1);
        EXPECT_EQ(keys.stillOpen(), 0u) << "type " << code;
    }
    // The code is looked at only once the key is open.
    KeyAccounting keys;
    EXPECT_EQ(readRegValue(HKEY_CLASSES_ROOT, std::string(kBase) + "\\missing", "", 2, std::string("dflt")),
              RegistryValue(std::string("dflt")));
    EXPECT_EQ(keys.opened(), 0);
}

TEST_F(RegistryTest, ListsEverySubkeyInEnumerationOrder)
{
    for (int i = 0; i < 250; ++i) base.createSubKey("many\\k" + std::to_string((i * 37) % 250));
    const std::string many = std::string(kBase) + "\\many";

    // The registry's own order, as another reader sees it.
    std::vector<std::string> expected;
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, many.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    char name[300];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof(name)) == ERROR_SUCCESS; ++i) expected.push_back(name);
    RegCloseKey(key);
    ASSERT_EQ(expected.size(), 250u);

    KeyAccounting keys;
    EXPECT_EQ(listSubKeys(HKEY_CLASSES_ROOT, many), expected);
    EXPECT_TRUE(listSubKeys(HKEY_CLASSES_ROOT, std::string(kBase) + "\\nothing here").empty());
    EXPECT_TRUE(listSubKeys(HKEY_CLASSES_ROOT, many + "\\k1").empty());
    EXPECT_EQ(keys.opened(), 2);
    EXPECT_EQ(keys.stillOpen(), 0u);
}

TEST_F(RegistryTest, ListsTheRootItselfAndLeavesItOpen)
{
    std::vector<std::string> expected;
    char name[300];
    for (DWORD i = 0; RegEnumKeyA(HKEY_CLASSES_ROOT, i, name, sizeof(name)) == ERROR_SUCCESS; ++i)
        expected.push_back(name);

    std::vector<std::string> names;
    {
        KeyAccounting keys;
        names = listSubKeys(HKEY_CLASSES_ROOT, "");
        EXPECT_EQ(keys.opened(), 0);
        EXPECT_EQ(keys.foreignCloses(), 0) << "the root key was closed";
    }
    EXPECT_EQ(names, expected);
    EXPECT_NE(std::find(names.begin(), names.end(), kBase), names.end());
    for (const std::string& n : names) {
        ASSERT_FALSE(n.empty());
        EXPECT_EQ(n.find('\0'), std::string::npos);
        EXPECT_NE(n.back(), ' ') << n;
    }
    // The root still answers.
    EXPECT_EQ(listSubKeys(HKEY_CLASSES_ROOT, "").size(), expected.size());
}

// A key opened elsewhere is used as the root and stays open.
TEST_F(RegistryTest, AnOpenKeyAsRootIsNeverClosed)
{
    base.setString("child", "", "value");
    HKEY root;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, kBase, 0, KEY_READ, &root), ERROR_SUCCESS);
    {
        KeyAccounting keys;
        EXPECT_EQ(readRegValue(root, "child", "", RegistryAPI::kString, std::string()),
                  RegistryValue(std::string("value")));
        EXPECT_EQ(listSubKeys(root, ""), std::vector<std::string>{"child"});
        EXPECT_EQ(keys.foreignCloses(), 0);
        EXPECT_EQ(keys.stillOpen(), 0u);
    }
    EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
}

} // namespace
