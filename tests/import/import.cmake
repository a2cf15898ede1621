# The reader against the real `reg import` (and `regedit /s`): each case a
# script merged into keys of its own, the prediction compared with the merge;
# and AddInRegCli verify on a merge.
addinreg_test(import_test SOURCES import/import_test.cpp LIBS third_party_headers TIMEOUT 600)
add_dependencies(import_test AddInRegCli)
