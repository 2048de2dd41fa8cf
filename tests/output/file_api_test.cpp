#include "platform/file_api.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/last_error.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

using test::TempDir;

std::string read_all(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The contract the safe writes build on, against the real operating system.
TEST(SystemFileApi, CreateNewWriteFlushCloseDelete) {
  TempDir dir;
  FileApi& files = system_file_api();
  const auto path = dir.path() / "new.bin";
  const FileHandle file = files.create_new_file(path);
  ASSERT_NE(file, invalid_file_handle());
  const std::uint8_t data[] = {'a', 'b', 'c'};
  std::uint32_t written = 0;
  EXPECT_TRUE(files.write_file(file, data, 3, &written));
  EXPECT_EQ(written, 3u);
  EXPECT_TRUE(files.write_file(file, data, 2, &written));
  EXPECT_TRUE(files.flush_file_buffers(file));
  EXPECT_TRUE(files.close_handle(file));
  EXPECT_EQ(read_all(path), "abcab");
  EXPECT_TRUE(files.delete_file(path));
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SystemFileApi, CreateNewRefusesAnExistingFile) {
  TempDir dir;
  const auto path = dir.path() / "old.bin";
  std::ofstream(path, std::ios::binary) << "old";
  set_last_error(0);
  EXPECT_EQ(system_file_api().create_new_file(path), invalid_file_handle());
  EXPECT_EQ(get_last_error(), kErrorFileExists);
  EXPECT_EQ(read_all(path), "old");
}

TEST(SystemFileApi, FailuresLeaveTheirErrorCode) {
  TempDir dir;
  set_last_error(0);
  EXPECT_EQ(system_file_api().create_new_file(dir.path() / "absent" / "x.bin"), invalid_file_handle());
  EXPECT_EQ(get_last_error(), kErrorPathNotFound);
  set_last_error(0);
  EXPECT_FALSE(system_file_api().delete_file(dir.path() / "absent.bin"));
  EXPECT_EQ(get_last_error(), 2u);  // ERROR_FILE_NOT_FOUND
}

}  // namespace
}  // namespace velmora
