#pragma once
// A registry call that names the other view (KEY_WOW64_32KEY in a 64-bit
// process, KEY_WOW64_64KEY in a 32-bit one) does not go through an
// overridden predefined key as it should: RegisterTypeLib writes every
// interface of its library into both views that way, as regsvr32 leaves
// them. While a capture runs, such calls on the classes go to a stand-in
// key of their own, those on the machine's software from a 64-bit process
// to its Wow6432Node below the stand-in, and calls that name the process's
// own view go to the override like calls that name no view.
#include <windows.h>

#include <cstddef>

namespace helper {

// From now on the modules loaded in the process send their calls that open,
// create or delete a key of the classes in the other view to `otherView`,
// which stays open. Modules loaded later are not changed.
// Returns the number of import slots changed.
size_t sendOtherViewTo(HKEY otherView);

} // namespace helper
