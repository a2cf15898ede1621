#include "registry/RegistryAPI.h"

#include <gtest/gtest.h>

TEST(RegistryAPI, ListsRoot) { EXPECT_GT(RegistryAPI::listSubKeys(HKEY_CLASSES_ROOT, "").size(), 10u); }
