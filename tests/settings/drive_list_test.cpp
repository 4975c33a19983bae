#include "settings/drive_list.h"

#include <gtest/gtest.h>

namespace folivo {
namespace {

struct DriveCase {
    const char* path;
    const char* drive;
};

class DriveOfTest : public ::testing::TestWithParam<DriveCase> {};

TEST_P(DriveOfTest, PicksTheInnermostMountPointThatHoldsThePath)
{
    const QStringList mounts{QStringLiteral("/"), QStringLiteral("/media/usb"),
                             QStringLiteral("/media/usb/inner"), QStringLiteral("/home")};
    EXPECT_EQ(DriveList::driveOf(mounts, QString::fromUtf8(GetParam().path)),
              QString::fromUtf8(GetParam().drive));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DriveOfTest,
    ::testing::Values(DriveCase{"/media/usb/books", "/media/usb"},
                      DriveCase{"/media/usb", "/media/usb"},
                      DriveCase{"/media/usb/inner/x", "/media/usb/inner"},
                      // A name that only starts like a mount point lies on the root.
                      DriveCase{"/media/usb2/x", "/"}, DriveCase{"/homework", "/"},
                      DriveCase{"/home/../media/usb/x", "/media/usb"}, DriveCase{"/", "/"}));

} // namespace
} // namespace folivo
