#include "platform/lazy_library.h"

#include <gtest/gtest.h>

#include <archive.h>

#include <thread>

namespace folivo {
namespace {

// The name the program loads libarchive under must be the one installed beside the headers
// it was built with; a library that is not there gives no function, to every thread that asks,
// and the program goes on.
TEST(LazyLibraryTest, LoadsLibarchiveUnderItsInstalledNameAndGivesNothingOfAMissingLibrary)
{
    LazyLibrary libarchive("libarchive.so.13");
    using Version = int (*)();
    const auto version = reinterpret_cast<Version>(libarchive.function("archive_version_number"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version(), ARCHIVE_VERSION_NUMBER);
    EXPECT_EQ(libarchive.function("no_such_function_in_libarchive"), nullptr);

    LazyLibrary missing("libfolivo-no-such-library.so.1");
    void* fromOtherThread = &missing;
    std::thread other([&] { fromOtherThread = missing.function("archive_version_number"); });
    EXPECT_EQ(missing.function("archive_version_number"), nullptr);
    other.join();
    EXPECT_EQ(fromOtherThread, nullptr);
}

} // namespace
} // namespace folivo
