# The reader against the real `reg import` (and `regedit /s`): each case a
# script merged into keys of its own, the prediction compared with the merge.
addinreg_test(import_test SOURCES import/import_test.cpp TIMEOUT 600)
