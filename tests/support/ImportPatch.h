#pragma once
// Routes one of this program's imports (a Win32 function the code under test
// calls) to a replacement while the patch lives.
namespace testing_support {

class ImportPatch {
public:
    ImportPatch(const char* name, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    void* original() const { return original_; }

private:
    const char* name_;
    void* original_ = nullptr;
};

} // namespace testing_support
