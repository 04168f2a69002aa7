#include "host/filesystem/File.h"
#include "host/filesystem/Path.h"

#include <gtest/gtest.h>

TEST(Path, StripExtensionRemovesOnlyTheLastComponentsExtension)
{
    const struct
    {
        const char* path;
        const char* expected;
    } rows[] = {
        {"a/b.csv", "a/b"},     {"b.train.csv", "b.train"}, {"a.d/b", "a.d/b"},
        {"a/.hidden", "a/.hidden"}, {"", ""},               {"c:\\x\\y.ai", "c:\\x\\y"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(FileSystem::Path::stripExtension(row.path), row.expected);
    }
}

TEST(File, ExistsOnlyForRegularFiles)
{
    EXPECT_TRUE(FileSystem::File::exists(CONFLUX_EXAMPLES_DIR "/../CMakeLists.txt"));
    EXPECT_FALSE(FileSystem::File::exists(CONFLUX_EXAMPLES_DIR "/.."));
    EXPECT_FALSE(FileSystem::File::exists(""));
    EXPECT_THROW(FileSystem::File::readAll("/nonexistent/file"), std::runtime_error);
}
