#include "output/new_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/failure.h"
#include "support/faulty_file_api.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

using test::FaultyFileApi;
using test::FileFaults;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;
using Calls = std::vector<std::string>;

Bytes read_all(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes counting_bytes(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

constexpr const char* kCreateFailed = "Could not create a new output file (or filename collision)";
constexpr const char* kFinishFailed = "Could not finish writing output file";

TEST(WriteNewFile, WritesInCallsOfAtMost65536Bytes) {
  const struct {
    std::size_t size;
    Calls calls;
  } cases[] = {
      {0, {"create", "flush", "close"}},
      {1, {"create", "write 1", "flush", "close"}},
      {65536, {"create", "write 65536", "flush", "close"}},
      {65537, {"create", "write 65536", "write 1", "flush", "close"}},
      {922218, {"create", "write 65536", "write 65536", "write 65536", "write 65536", "write 65536", "write 65536",
                "write 65536", "write 65536", "write 65536", "write 65536", "write 65536", "write 65536",
                "write 65536", "write 65536", "write 4714", "flush", "close"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    TempDir dir;
    FaultyFileApi files;
    const auto path = dir.path() / "out.bin";
    const Bytes bytes = counting_bytes(c.size);
    write_new_file(path, bytes, files);
    EXPECT_EQ(files.calls(), c.calls);
    EXPECT_EQ(read_all(path), bytes);
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    EXPECT_EQ(files.open_handles(), 0);
  }
}

TEST(WriteNewFile, FailuresLeaveNoFileBehind) {
  const struct {
    const char* name;
    FileFaults faults;
    std::size_t size;
    Calls calls;
  } cases[] = {
      {"disk full half-way", {.disk_space = 100000}, 200000,
       {"create", "write 65536", "write 65536", "close", "delete"}},
      {"disk full as a short write", {.disk_space = 100000, .full_disk_writes_short = true}, 200000,
       {"create", "write 65536", "write 65536", "close", "delete"}},
      {"disk full at the first byte", {.disk_space = 0}, 10, {"create", "write 10", "close", "delete"}},
      {"flush fails", {.fail_flush = true}, 70000, {"create", "write 65536", "write 4464", "flush", "close", "delete"}},
      {"flush fails an empty file", {.fail_flush = true}, 0, {"create", "flush", "close", "delete"}},
      {"close fails", {.fail_close = true}, 10, {"create", "write 10", "flush", "close", "delete"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    FaultyFileApi files(c.faults);
    const auto path = dir.path() / "out.png";
    EXPECT_THAT([&] { write_new_file(path, counting_bytes(c.size), files); },
                ThrowsMessage<std::exception>(StrEq(kFinishFailed)));
    EXPECT_EQ(files.calls(), c.calls);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(files.open_handles(), 0);
  }
}

// An existing file, a failing create and a missing folder: nothing is written
// and whatever was there stays.
TEST(WriteNewFile, CreateFailuresWriteNothing) {
  const struct {
    const char* name;
    FileFaults faults;
    const char* existing;  // nullptr: no file there before
    const char* folder;
  } cases[] = {
      {"existing file", {}, "precious", ""},
      {"create fails", {.fail_create = true}, nullptr, ""},
      {"missing folder", {}, nullptr, "absent"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const auto path = dir.path() / c.folder / "a.png";
    if (c.existing) std::ofstream(path, std::ios::binary) << c.existing;
    FaultyFileApi files(c.faults);
    EXPECT_THAT([&] { write_new_file(path, counting_bytes(5), files); },
                ThrowsMessage<std::exception>(StrEq(kCreateFailed)));
    EXPECT_EQ(files.calls(), Calls{"create"});
    if (c.existing) {
      EXPECT_EQ(read_all(path), Bytes(c.existing, c.existing + std::strlen(c.existing)));
    } else {
      EXPECT_FALSE(std::filesystem::exists(path));
    }
  }
}

TEST(WriteNewTextFile, BytesAreWrittenUnchanged) {
  TempDir dir;
  const auto path = dir.path() / "log.txt";
  const std::string text = "Velmora 0.7.4 \xE2\x80\x94 read-only\nline\r\nend";
  write_new_text_file(path, text);
  EXPECT_EQ(read_all(path), Bytes(text.begin(), text.end()));
}

TEST(NewFile, AbandonedFileIsDeleted) {
  TempDir dir;
  FaultyFileApi files;
  const auto path = dir.path() / "a.bin";
  {
    NewFile file(files, path);
    file.write(counting_bytes(10));
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(files.calls(), (Calls{"create", "write 10", "close", "delete"}));
}

TEST(NewFile, NothingIsWrittenAfterAFailedWrite) {
  TempDir dir;
  FaultyFileApi files({.disk_space = 3});
  NewFile file(files, dir.path() / "a.bin");
  file.write(counting_bytes(5));
  file.write(counting_bytes(5));
  EXPECT_THAT([&] { file.commit(); }, ThrowsMessage<std::exception>(StrEq(kFinishFailed)));
  EXPECT_EQ(files.calls(), (Calls{"create", "write 5", "close", "delete"}));
}

}  // namespace
}  // namespace velmora
