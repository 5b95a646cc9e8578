#include "Platform/FileIo.h"

#include <gtest/gtest.h>

TEST(WindowsFileIo, MissingFileIsNotThere)
{
    EXPECT_FALSE(Platform::PathExists("C:/no/such/file"));
}
