#include "scripts/ScriptBuilder.h"

#include "scripts/ValueLines.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <optional>

namespace scripts {

using text::kCrLf;

ScriptBuilder::ScriptBuilder(Encoding encoding) : regedit4_(encoding == Encoding::Regedit4WhenFits) {}

void ScriptBuilder::add(std::string_view text)
{
    regedit4_ = regedit4_ && isAscii(text);
    lines_ += text;
}

void ScriptBuilder::key(std::string_view key)
{
    add(kCrLf);
    add("[");
    add(key);
    add(std::string("]") + kCrLf);
}

void ScriptBuilder::deletedKey(std::string_view key) { deletedKeys({std::string(key)}); }

void ScriptBuilder::deletedKeys(const std::vector<std::string>& keys)
{
    if (keys.empty()) return;
    add(kCrLf);
    for (const std::string& name : keys) add("[-" + name + "]" + kCrLf);
}

bool ScriptBuilder::value(const classes::NamedValue& value)
{
    const std::optional<std::string> line = valueLine(value);
    if (!line) return false;
    regedit4_ = regedit4_ && fitsRegedit4(value);
    add(*line + kCrLf);
    return true;
}

void ScriptBuilder::deletedValue(const std::string& name) { add(valueNameField(name) + "=-" + kCrLf); }

void ScriptBuilder::lines(std::string_view utf8) { add(utf8); }

std::string ScriptBuilder::file() const
{
    if (regedit4_) return kRegedit4Header + std::string(kCrLf) + lines_;
    std::string bytes = text::utf16BytesFromUtf8(kVersion5Header + std::string(kCrLf) + lines_);
    bytes.resize(bytes.size() - 2); // no NUL at the end of a file
    return std::string(text::kUtf16Mark) + bytes;
}

} // namespace scripts
