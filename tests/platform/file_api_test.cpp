#include "platform/file_api.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/last_error.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

// The real operating system's failures leave the Windows error codes (the
// writes themselves run through it in the output tests).
TEST(SystemFileApi, FailuresLeaveTheirWindowsErrorCodes) {
  const test::TempDir dir;
  FileApi& files = system_file_api();
  const auto path = dir.path() / "old.bin";
  std::ofstream(path) << "old";
  EXPECT_EQ(files.create_new_file(path), invalid_file_handle());
  EXPECT_EQ(get_last_error(), kErrorFileExists);
  EXPECT_EQ(files.create_new_file(dir.path() / "absent" / "x.bin"), invalid_file_handle());
  EXPECT_EQ(get_last_error(), kErrorPathNotFound);
  EXPECT_TRUE(files.delete_file(path));
  set_last_error(0);
  EXPECT_FALSE(files.delete_file(path));
  EXPECT_EQ(get_last_error(), kErrorFileNotFound);
}

}  // namespace
}  // namespace velmora
