// The PE tables read from built images, damaged ones included, and the walk
// of a server's dependencies over a machine held in memory.
#include "MachineImage.h"
#include "PeBuilder.h"
#include "doctor/Dependencies.h"
#include "doctor/PeTables.h"

#include <gtest/gtest.h>

using namespace doctor;
using testing_image::buildPe;
using testing_image::PeContents;

namespace {

std::vector<std::string> functionNames(const PeImportedModule& module)
{
    std::vector<std::string> names;
    for (const PeImportedFunction& f : module.functions) names.push_back(functionName(f));
    return names;
}

TEST(PeTables, ReadsImportsDelayImportsAndExports)
{
    for (const bool pe32Plus : {true, false}) {
        SCOPED_TRACE(pe32Plus ? "PE32+" : "PE32");
        PeContents contents;
        contents.pe32Plus = pe32Plus;
        contents.machine = pe32Plus ? 0x8664 : 0x14C;
        contents.imports = {{"KERNEL32.dll", {"LoadLibraryW", "#17"}}, {"Helper.dll", {"HelperOne"}}};
        contents.delayImports = {{"Late.dll", {"LateOne", "#3"}}};
        contents.exports = {{"DllGetClassObject", ""}, {"Alloc", "NTDLL.RtlAllocateHeap"}, {"#7", ""}};
        contents.ordinalBase = 5;
        const PeTables t = readPeTables(buildPe(contents));
        ASSERT_TRUE(t.readable) << t.problem;
        EXPECT_EQ(t.pe32Plus, pe32Plus);
        EXPECT_EQ(t.image.machineCode, contents.machine);
        ASSERT_EQ(t.sections.size(), 1u);
        EXPECT_EQ(t.sections[0].name, ".rdata");
        ASSERT_EQ(t.imports.size(), 2u);
        EXPECT_EQ(t.imports[0].dll, "KERNEL32.dll");
        EXPECT_EQ(functionNames(t.imports[0]), (std::vector<std::string>{"LoadLibraryW", "ordinal 17"}));
        EXPECT_EQ(functionNames(t.imports[1]), std::vector<std::string>{"HelperOne"});
        ASSERT_EQ(t.delayImports.size(), 1u);
        EXPECT_EQ(t.delayImports[0].dll, "Late.dll");
        EXPECT_EQ(functionNames(t.delayImports[0]), (std::vector<std::string>{"LateOne", "ordinal 3"}));
        EXPECT_EQ(t.exportName, "built.dll");
        ASSERT_EQ(t.exports.size(), 3u);
        ASSERT_NE(t.exportNamed("DllGetClassObject"), nullptr);
        EXPECT_EQ(t.exportNamed("DllGetClassObject")->ordinal, 5u);
        EXPECT_EQ(t.exportNamed("Alloc")->forwarder, "NTDLL.RtlAllocateHeap");
        ASSERT_NE(t.exportByOrdinal(7), nullptr);
        EXPECT_EQ(t.exportByOrdinal(7)->name, "");
        EXPECT_EQ(t.exportNamed("alloc"), nullptr); // names are matched exactly
        EXPECT_EQ(t.exportByOrdinal(1), nullptr);
    }
}

TEST(PeTables, DamagedImagesAreNotReadable)
{
    PeContents contents;
    contents.imports = {{"Helper.dll", {"HelperOne", "#2"}}};
    contents.delayImports = {{"Late.dll", {"LateOne"}}};
    contents.exports = {{"DllGetClassObject", ""}, {"Fwd", "Other.Thing"}};
    const std::string whole = buildPe(contents);
    ASSERT_TRUE(readPeTables(whole).readable);

    // Cut anywhere: either still whole enough, or "not readable" with a reason.
    for (size_t size = 0; size < whole.size(); size += 7) {
        const PeTables t = readPeTables(std::string_view(whole).substr(0, size));
        EXPECT_TRUE(t.readable || !t.problem.empty()) << size;
    }
    EXPECT_EQ(readPeTables("MZ").problem, "not a PE image");

    const auto patched = [&](size_t at, uint32_t value) {
        std::string bytes = whole;
        testing_image::pe_layout::put(bytes, at, value, 4);
        return readPeTables(bytes);
    };
    const size_t directories = 0x58 + 112;
    EXPECT_EQ(patched(directories + 8, 0x7FFF0000).problem, "the import directory outside the file");
    EXPECT_FALSE(patched(0x58 + 240 + 16, 0x10).readable);   // the section's raw data cut short
    EXPECT_FALSE(patched(0x46, 0xFFFF).readable);                 // more sections than the loader takes
    EXPECT_FALSE(patched(0x58, 0x107).readable);                  // neither PE32 nor PE32+
    EXPECT_FALSE(patched(0x200 + 20, 0x10000000).readable);      // an export count beyond any DLL

    // A name without its NUL before the end of the file.
    std::string unterminated = whole;
    const size_t name = unterminated.rfind("Late.dll");
    unterminated.resize(name + 4);
    EXPECT_FALSE(readPeTables(unterminated).readable);
}

TEST(PeTables, Forwarders)
{
    const auto split = [](const std::string& text) {
        const std::optional<PeForwarder> f = splitForwarder(text);
        return f ? f->dll + "|" + functionName(f->function) : std::string("-");
    };
    EXPECT_EQ(split("NTDLL.RtlAllocateHeap"), "NTDLL.dll|RtlAllocateHeap");
    EXPECT_EQ(split("api-ms-win-core-synch-l1-2-0.#12"), "api-ms-win-core-synch-l1-2-0.dll|ordinal 12");
    for (const char* bad : {"NoDot", ".Name", "Dll.", "Dll.#", "Dll.#x1", "Dll.#70000"}) EXPECT_EQ(split(bad), "-") << bad;
    EXPECT_TRUE(isApiSetName("API-MS-Win-Core-Com-L1-1-0.dll"));
    EXPECT_TRUE(isApiSetName("ext-ms-win-gdi-dc-l1-2-0.dll"));
    EXPECT_FALSE(isApiSetName("apims.dll"));
}

// A 64-bit machine with the add-in in C:\AddIn, PATH C:\Tools.
class Walk : public ::testing::Test {
protected:
    void dll(const std::string& file, PeContents contents) { machine_.addFile(file, buildPe(contents)); }
    PeContents exporting(std::vector<std::string> names, uint16_t machine = 0x8664)
    {
        PeContents contents;
        contents.machine = machine;
        contents.pe32Plus = machine != 0x14C;
        for (std::string& name : names) contents.exports.emplace_back(std::move(name), "");
        return contents;
    }
    // The findings of a walk from the server, "FAIL " or "WARN " before each.
    std::vector<std::string> walk(const PeContents& server, DependencyWalk* result = nullptr)
    {
        dll(kServer, server);
        const PeTables tables = readPeTables(machine_.wholeFile(kServer)->bytes);
        const DependencyWalk w = walkDependencies(kServer, tables, classes::View::Bits64, machine_, machine_);
        std::vector<std::string> texts;
        for (const DependencyFinding& f : w.findings) texts.push_back((f.fails ? "FAIL " : "WARN ") + f.text);
        if (result) *result = w;
        return texts;
    }

    const std::string kServer = "C:\\AddIn\\MyAddIn.dll";
    testing_image::MachineImage machine_;
};

TEST_F(Walk, MissingDllsShowTheirChain)
{
    PeContents helper = exporting({"HelperOne"});
    helper.imports = {{"MSVCP140D.dll", {"x"}}, {"KERNEL32.dll", {"LoadLibraryW"}}};
    dll("C:\\AddIn\\Helper.dll", helper);
    dll("C:\\Windows\\System32\\KERNEL32.dll", exporting({"LoadLibraryW"}));
    machine_.addFile("C:\\AddIn\\Broken.dll", buildPe(exporting({"One"})).substr(0, 0x210));
    PeContents server;
    server.imports = {{"Helper.dll", {"HelperOne"}}, {"kernel32.dll", {"LoadLibraryW"}}, {"Broken.dll", {"One"}}};
    server.delayImports = {{"Late.dll", {"LateOne"}}};
    DependencyWalk result;
    EXPECT_EQ(walk(server, &result),
              (std::vector<std::string>{
                  "FAIL MyAddIn.dll \xE2\x86\x92 Broken.dll: C:\\AddIn\\Broken.dll is not readable: a field past "
                  "the end of the file",
                  "FAIL MyAddIn.dll \xE2\x86\x92 Helper.dll \xE2\x86\x92 MSVCP140D.dll: not found",
                  "WARN MyAddIn.dll \xE2\x86\x92 Late.dll: not found (delay-loaded: a call into it fails)"}));
    EXPECT_EQ(result.modules, 4u); // each module once, whatever the spelling of its name
}

TEST_F(Walk, MissingFunctionsByNameOrdinalAndForwarder)
{
    PeContents helper = exporting({"HelperOne", "#9"});
    helper.exports.emplace_back("Moved", "Other.Gone");
    helper.exports.emplace_back("ToSystem", "api-ms-win-core-heap-l1-1-0.HeapAlloc");
    dll("C:\\AddIn\\Helper.dll", helper);
    dll("C:\\AddIn\\Other.dll", exporting({"Here"}));
    PeContents server;
    server.imports = {{"Helper.dll", {"HelperOne", "HelperTwo", "#9", "#10", "Moved", "ToSystem"}},
                      {"api-ms-win-core-com-l1-1-0.dll", {"CoCreateGuid"}}};
    DependencyWalk result;
    EXPECT_EQ(walk(server, &result),
              (std::vector<std::string>{
                  "FAIL Helper.dll does not export HelperTwo (imported by MyAddIn.dll)",
                  "FAIL Helper.dll does not export ordinal 10 (imported by MyAddIn.dll)",
                  "FAIL Other.dll does not export Gone, to which Helper.dll forwards Moved (imported by MyAddIn.dll)"}));
    EXPECT_EQ(result.apiSets, 1u);

    // A loader that binds what is missing to a stub loads the server: a call fails.
    machine_.stubs = true;
    const std::vector<std::string> stubbed = walk(server);
    ASSERT_EQ(stubbed.size(), 3u);
    EXPECT_EQ(stubbed[0], "WARN Helper.dll does not export HelperTwo (imported by MyAddIn.dll): this system's loader "
                          "puts a stub in its place that fails when called");
}

TEST_F(Walk, SearchOrderMachinesAndKnownDlls)
{
    // An x86 Helper.dll beside the server is passed over for the x64 one on PATH.
    dll("C:\\AddIn\\Helper.dll", exporting({"HelperOne"}, 0x14C));
    dll("C:\\Tools\\Helper.dll", exporting({"HelperOne"}));
    // Only an x86 Only.dll anywhere.
    dll("C:\\Windows\\Only.dll", exporting({"OnlyOne"}, 0x14C));
    // A known DLL is the system's copy even when the server's folder has one.
    machine_.knownDllNames = {"ole32.dll"};
    dll("C:\\AddIn\\ole32.dll", exporting({}));
    PeContents ole = exporting({"CoTaskMemAlloc"});
    ole.imports = {{"combase.dll", {"Thing"}}}; // and its dependencies too
    dll("C:\\Windows\\System32\\ole32.dll", ole);
    dll("C:\\AddIn\\combase.dll", exporting({}));
    dll("C:\\Windows\\System32\\combase.dll", exporting({"Thing"}));
    // A loop of imports ends.
    PeContents loop = exporting({"LoopOne"});
    loop.imports = {{"MyAddIn.dll", {"Back"}}};
    dll("C:\\AddIn\\Loop.dll", loop);

    PeContents server = exporting({"Back"});
    server.imports = {
        {"Helper.dll", {"HelperOne"}}, {"Only.dll", {"OnlyOne"}}, {"OLE32.dll", {"CoTaskMemAlloc"}}, {"Loop.dll", {"LoopOne"}}};
    EXPECT_EQ(walk(server), (std::vector<std::string>{
                                "WARN MyAddIn.dll \xE2\x86\x92 Helper.dll is found only through PATH "
                                "(C:\\Tools\\Helper.dll): the host's environment decides",
                                "FAIL MyAddIn.dll \xE2\x86\x92 Only.dll: only C:\\Windows\\Only.dll is found, built "
                                "for x86, not x64"}));
}

} // namespace
