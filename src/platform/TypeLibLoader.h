#pragma once
// The system's type-library loader for the doctor: what LoadTypeLibEx makes
// of a file, read through ITypeLib. Nothing is registered.
#include "doctor/TypeLibs.h"

#include <string>

namespace platform {

// Loads the file with LoadTypeLibEx (REGKIND_NONE), as LoadRegTypeLib loads a
// registered path, and reads its attributes, its interfaces and coclasses.
doctor::TypeLibFile loadTypeLibrary(const std::string& path);

} // namespace platform
