#include "console/LibraryList.h"
#include "common/JsonWriter.h"
#include "FakeApplicationDataFolder.h"

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (LibraryList, NamesGoOutSortedIgnoringCase)
{
    const FakeApplicationDataFolder noFolder (std::nullopt);
    DuzezavureSettings settings (noFolder);
    EXPECT_EQ (toJson (makeLibraryList (settings), JsonLayout::singleLine), R"({"names": []})");

    for (const auto* name : { "b", "A", "c" })
        settings.putLibraryEntry (name, R"({"bands": []})");

    EXPECT_EQ (toJson (makeLibraryList (settings), JsonLayout::singleLine),
               R"({"names": ["A", "b", "c"]})");
}

} // namespace brindle::test
