#include "platform/file_api.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/last_error.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

std::string read_all(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The contract the safe writes build on, against the real operating system:
// a new file only, and failures that leave their Windows error code.
TEST(SystemFileApi, CreatesOnlyNewFilesAndReportsErrorCodes) {
  const test::TempDir dir;
  FileApi& files = system_file_api();
  const auto path = dir.path() / "new.bin";
  const FileHandle file = files.create_new_file(path);
  ASSERT_NE(file, invalid_file_handle());
  const std::uint8_t data[] = {'a', 'b', 'c'};
  std::uint32_t written = 0;
  EXPECT_TRUE(files.write_file(file, data, 3, &written) && written == 3 && files.write_file(file, data, 2, &written) &&
              written == 2 && files.flush_file_buffers(file) && files.close_handle(file));
  EXPECT_EQ(read_all(path), "abcab");
  EXPECT_TRUE(files.delete_file(path));
  set_last_error(0);
  EXPECT_FALSE(files.delete_file(path));
  EXPECT_EQ(get_last_error(), 2u);
  EXPECT_EQ(files.create_new_file(dir.path() / "absent" / "x.bin"), invalid_file_handle());
  EXPECT_EQ(get_last_error(), kErrorPathNotFound);
  std::ofstream(path) << "old";
  EXPECT_EQ(files.create_new_file(path), invalid_file_handle());
  EXPECT_EQ(get_last_error(), kErrorFileExists);
  EXPECT_EQ(read_all(path), "old");
}

}  // namespace
}  // namespace velmora
