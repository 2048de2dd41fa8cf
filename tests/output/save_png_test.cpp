#include "output/save_png.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "base/failure.h"
#include "output/png.h"
#include "support/faulty_file_api.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

using test::FaultyFileApi;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes read_all(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SavePngOutput, NamesTheFilePrefixLabelTail) {
  TempDir dir;
  const OutputContext context{dir.path(), "Velmora_007_HR-CP", "250314093005"};
  const RgbImage image{2, 1, {1, 2, 3, 4, 5, 6}};
  const auto expected = encode_png(image);
  save_png_file(context, "balanced", expected);
  save_png_file(context, "balanced", expected);
  save_png_file(context, "balanced-more-color", expected);
  EXPECT_EQ(read_all(dir.path() / "Velmora_007_HR-CP_balanced_250314093005.png"), expected);
  EXPECT_EQ(read_all(dir.path() / "Velmora_007_HR-CP_balanced_250314093005_02.png"), expected);
  EXPECT_EQ(read_all(dir.path() / "Velmora_007_HR-CP_balanced-more-color_250314093005.png"), expected);
}

TEST(SavePngOutput, InvalidImageCreatesNothing) {
  TempDir dir;
  FaultyFileApi files;
  EXPECT_THAT(
      [&] {
        save_png_file({dir.path(), "p", "t"}, "balanced", encode_png(RgbImage{2, 2, Bytes(11)}), files);
      },
      ThrowsMessage<Failure>(StrEq("Invalid RGB image buffer")));
  EXPECT_TRUE(files.calls().empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(SavePngOutput, FullDiskLeavesNoFile) {
  TempDir dir;
  FaultyFileApi files({.disk_space = 70000});
  EXPECT_THAT(
      [&] {
        save_png_file({dir.path(), "p", "t"}, "balanced", encode_png(RgbImage{200, 200, Bytes(120000, 9)}), files);
      },
      ThrowsMessage<Failure>(StrEq("Could not finish writing output file")));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace velmora
