#include "host/projectdata/ProjectStore.h"

#include <gtest/gtest.h>

using ProjectData::ProjectStore;

TEST(ProjectStore, PlacesExchangeFilesInsideTheStore)
{
    struct Row
    {
        const char* directory;
        const char* kept;
        const char* doc;
        const char* control;
    };
    const Row rows[] = {
        {"/data/store", "/data/store", "/data/store/ConfluxModel.xml", "/data/store/ConfluxControl.txt"},
        {"/data/store/", "/data/store", "/data/store/ConfluxModel.xml", "/data/store/ConfluxControl.txt"},
        {"rel//", "rel", "rel/ConfluxModel.xml", "rel/ConfluxControl.txt"},
        {"C:\\store\\", "C:\\store", "C:\\store/ConfluxModel.xml", "C:\\store/ConfluxControl.txt"},
        {"/", "/", "/ConfluxModel.xml", "/ConfluxControl.txt"},
        {"", "", "ConfluxModel.xml", "ConfluxControl.txt"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.directory);
        const ProjectStore store(row.directory);
        EXPECT_EQ(store.getStoreDirectoryName(), row.kept);
        EXPECT_EQ(store.getConfluxDoc(), row.doc);
        EXPECT_EQ(store.getConfluxControlFile(), row.control);
    }
}
