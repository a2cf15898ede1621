// The PE table reader and the dependency walk on damaged images: a table is
// either read within its caps or "not readable" with a reason, never past
// the bytes; a walk over modules that are all the same image ends, each
// module once, each finding one line.
#include "../rules/MachineImage.h"
#include "FuzzInput.h"
#include "doctor/Dependencies.h"
#include "doctor/PeTables.h"

using namespace fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const doctor::PeTables tables = doctor::readPeTables(bytes);
    if (!tables.readable) {
        check(!tables.problem.empty(), "an unreadable image says why");
        check(tables.imports.empty() && tables.delayImports.empty() && tables.exports.empty(),
              "an unreadable image has no tables");
        return 0;
    }
    check(tables.imports.size() <= doctor::kMaxPeModules && tables.delayImports.size() <= doctor::kMaxPeModules,
          "import descriptors within the cap");
    check(tables.exports.size() <= doctor::kMaxPeFunctions, "exports within the cap");
    for (const doctor::PeExport& entry : tables.exports) {
        check(entry.name.size() <= doctor::kMaxPeName && entry.forwarder.size() <= doctor::kMaxPeName,
              "names within the cap");
        if (!entry.name.empty()) check(tables.exportNamed(entry.name) != nullptr, "a named export is found by name");
    }

    // Every DLL it imports is this same image, beside it.
    testing_image::MachineImage machine;
    const std::string server = "C:\\A\\S.dll";
    machine.addFile(server, bytes);
    for (const auto* list : {&tables.imports, &tables.delayImports})
        for (size_t i = 0; i < list->size() && i < 16; ++i)
            if ((*list)[i].dll.find_first_of("\\/:\r\n") == std::string::npos)
                machine.addFile("C:\\A\\" + (*list)[i].dll, bytes);
    machine.stubs = size % 2 == 1;
    const doctor::DependencyWalk walk =
        doctor::walkDependencies(server, tables, classes::View::Bits64, machine, machine);
    check(walk.modules >= 1 && walk.modules <= doctor::kMaxWalkModules, "modules within the cap");
    for (const doctor::DependencyFinding& finding : walk.findings)
        check(!finding.text.empty(), "a finding says something");
    return 0;
}
