# The rule code: pure C++ (and nlohmann/json, header-only), no windows.h. The one list of it: the programs'
# library, the Wine-run rules_test of the cross build and the native build
# under the sanitizers (tests/native) all take it from here. Paths are from
# the project root; a new rule file is one line here.
set(ADDINREG_RULE_SOURCES
    src/text/Text.cpp
    src/text/Fields.cpp
    src/text/Utf.cpp
    src/scripts/RegScript.cpp
    src/scripts/RegFileReader.cpp
    src/scripts/ValueLines.cpp
    src/scripts/ScriptBuilder.cpp
    src/scripts/CapturedRegistration.cpp
    src/scripts/Installer.cpp
    src/classes/Arguments.cpp
    src/classes/ClassLookup.cpp
    src/classes/HandOff.cpp
    src/classes/ProgIdList.cpp
    src/classes/Registry.cpp
    src/classes/ServerRule.cpp
    src/doctor/PeImage.cpp
    src/doctor/PeTables.cpp
    src/doctor/Dependencies.cpp
    src/doctor/FileUri.cpp
    src/doctor/Checklist.cpp
    src/doctor/Report.cpp
    src/doctor/Verify.cpp
    src/doctor/Stale.cpp
    src/doctor/Doctor.cpp
    src/doctor/LoadVerdict.cpp
    src/doctor/AddIns.cpp
    src/doctor/TypeLibs.cpp
    src/output/Output.cpp
    src/output/DoctorOutput.cpp
)

set(ADDINREG_RULE_TESTS
    tests/rules/script_rules_test.cpp
    tests/rules/reg_reader_test.cpp
    tests/rules/server_rules_test.cpp
    tests/rules/doctor_rules_test.cpp
    tests/rules/load_rules_test.cpp
    tests/rules/capture_rules_test.cpp
    tests/rules/installer_rules_test.cpp
    tests/rules/dependency_rules_test.cpp
    tests/rules/typelib_rules_test.cpp
    tests/rules/text_rules_test.cpp
    tests/rules/output_rules_test.cpp
)
