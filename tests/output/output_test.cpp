#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/read_file.h"
#include "base/text.h"
#include "output/checksum.h"
#include "output/naming.h"
#include "output/new_file.h"
#include "output/png.h"
#include "platform/local_time.h"
#include "support/faulty_file_api.h"
#include "support/sim_fixture.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

using test::failure_of;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes noise(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  for (auto& byte : out) byte = static_cast<std::uint8_t>((seed = seed * 1664525 + 1013904223) >> 24);
  return out;
}

Bytes read_all(const std::filesystem::path& path) {
  return std::filesystem::exists(path) ? read_whole_file(path) : Bytes{};
}

// A small file in full; around the 65535-byte stored blocks and a full photo
// by CRC-32. pngcheck (natively) reads every one.
TEST(EncodePng, ByteExactFilesThatAnotherReaderAccepts) {
  const struct {
    std::int32_t width, height;
    const char* hex;  // whole file, or its CRC-32
  } cases[] = {
      {1, 1,
       "89 50 4e 47 0d 0a 1a 0a 00 00 00 0d 49 48 44 52 00 00 00 01 00 00 00 01 08 02 00 00 00 90 77 53 "
       "de 00 00 00 0f 49 44 41 54 78 01 01 04 00 fb ff 00 ff 00 00 03 01 01 00 8d 1d e5 82 00 00 00 00 "
       "49 45 4e 44 ae 42 60 82"},
      {28, 771, "1401263278"},   // 85 * 771 = 65535 scanline bytes: one full block
      {85, 256, "4091215088"},   // 65536: a full block and one byte
      {1, 32768, "3795851989"},  // three blocks
      {28, 1542, "2772615138"},  // exactly two full blocks
      {640, 480, "3470604614"},
  };
  const TempDir dir;
  const bool pngcheck = std::system("command -v pngcheck >/dev/null 2>&1") == 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    const RgbImage image{c.width, c.height,
                         c.width == 1 && c.height == 1 ? Bytes{255, 0, 0} : noise(c.width * c.height * 3, c.width)};
    const Bytes file = encode_png(image);
    EXPECT_EQ(file.size() < 100 ? hex_bytes(file) : std::to_string(crc32_update(0, file)), c.hex);
    const auto path = dir.path() / "a.png";
    std::filesystem::remove(path);
    write_new_file(path, file);
    EXPECT_TRUE(!pngcheck || std::system(("pngcheck -q '" + path.string() + "' >/dev/null").c_str()) == 0);
  }
}

TEST(EncodePng, RejectsInconsistentBuffers) {
  for (const RgbImage& bad : {RgbImage{0, 1, {}}, RgbImage{1, 0, {}}, RgbImage{-1, -1, Bytes(3)},
                              RgbImage{2, 2, Bytes(11)}, RgbImage{2, 2, Bytes(13)}, RgbImage{2, 2, {}}}) {
    EXPECT_EQ(failure_of([&] { encode_png(bad); }), "Invalid RGB image buffer");
  }
}

// The definitions, one bit and one byte at a time.
std::pair<std::uint32_t, std::uint32_t> reference_checksums(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFF, a = 1, b = 0;
  for (std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return {~crc, b << 16 | a};
}

// Both forms run on every machine. Lengths around the vector widths and the
// Adler reduction runs (5552), at unaligned starts and cut in two; all-0xFF
// bytes drive the Adler sums to their largest values between reductions.
TEST(Checksum, BothFormsMatchTheDefinitions) {
  const std::string check = "123456789";
  EXPECT_EQ(reference_checksums(Bytes(check.begin(), check.end())), std::pair(0xCBF43926u, 0x091E01DEu));
  const Bytes data = noise(200000, 7), ones(1 << 20, 0xFF);
  std::vector<std::pair<std::span<const std::uint8_t>, std::size_t>> cases;  // bytes, where to cut them
  for (std::size_t n = 0; n <= 300; ++n) cases.emplace_back(std::span(data).subspan(n % 4, n), n / 3);
  for (std::size_t n : {511u, 512u, 513u, 5503u, 5504u, 5551u, 5552u, 5553u, 10752u, 11104u, 11105u, 199990u}) {
    cases.emplace_back(std::span(data).subspan(n % 7, n), n % 65537);
  }
  cases.emplace_back(ones, 65536);
  using Form = void (*)(std::uint32_t&, std::uint32_t&, std::span<const std::uint8_t>);
  const Form portable = [](std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes) {
    crc = crc32_update(crc, bytes);
    adler = adler32_update(adler, bytes);
  };
  for (const auto& [bytes, cut] : cases) {
    for (Form form : {portable, checksum_detail::crc32_adler32_clmul, crc32_adler32_update}) {
      std::uint32_t crc = 0, adler = 1;
      form(crc, adler, bytes.first(cut));
      form(crc, adler, bytes.subspan(cut));
      EXPECT_EQ(std::pair(crc, adler), reference_checksums(bytes)) << bytes.size() << " cut at " << cut;
    }
  }
}

// Every write of a new file: calls of at most 65536 bytes, and on any
// failure the file is gone (or, if it was there before, untouched).
TEST(WriteNewFile, CallsAndFailures) {
  const std::string finish = "Could not finish writing output file";
  const std::string create = "Could not create a new output file (or filename collision)";
  const auto w = [](int n) { return "write " + std::to_string(n); };
  const struct {
    test::FileFaults faults;
    std::size_t size;
    std::vector<std::string> calls;
    std::string message;  // empty: written
    const char* before = nullptr;
  } cases[] = {
      {{}, 0, {"create", "flush", "close"}, ""},
      {{}, 65537, {"create", w(65536), "write 1", "flush", "close"}, ""},
      {{.disk_space = 100000}, 200000, {"create", w(65536), w(65536), "close", "delete"}, finish},
      {{.disk_space = 100000, .full_disk_writes_short = true},
       200000,
       {"create", w(65536), w(65536), "close", "delete"},
       finish},
      {{.disk_space = 0}, 10, {"create", w(10), "close", "delete"}, finish},
      {{.fail_flush = true}, 0, {"create", "flush", "close", "delete"}, finish},
      {{.fail_close = true}, 10, {"create", w(10), "flush", "close", "delete"}, finish},
      {{}, 5, {"create"}, create, "precious"},
      {{.fail_create = true}, 5, {"create"}, create},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " " << c.message);
    TempDir dir;
    test::FaultyFileApi files(c.faults);
    const auto path = dir.path() / "out.png";
    if (c.before) std::ofstream(path) << c.before;
    const Bytes bytes = noise(c.size, 3);
    const std::string failure = failure_of([&] { write_new_file(path, bytes, files); });
    EXPECT_EQ(failure, c.message.empty() ? "(no failure)" : c.message);
    EXPECT_EQ(files.calls(), c.calls);
    EXPECT_EQ(files.open_handles(), 0);
    const Bytes before = c.before ? Bytes(c.before, c.before + 8) : Bytes{};
    EXPECT_EQ(read_all(path), c.message.empty() ? bytes : before);
    EXPECT_EQ(std::filesystem::exists(path), c.message.empty() || c.before);
  }
  EXPECT_EQ(failure_of([] { write_new_file("/nonexistent-folder/a.png", Bytes(3)); }), create);
  const TempDir dir;  // a new file given up before its commit goes too
  NewFile(system_file_api(), dir.path() / "a.bin").write(noise(9, 1));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

void make(const std::filesystem::path& folder, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    name.ends_with("/") ? void(std::filesystem::create_directory(folder / name))
                        : void(std::ofstream(folder / name) << "x");
  }
}

TEST(UniqueOutputPath, SkipsTakenNamesAndCreatesNothing) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "a.png"},
      {{"a.png"}, "a_02.png"},
      {{"a.png", "a_02.png"}, "a_03.png"},
      {{"a.png", "a_03.png"}, "a_02.png"},
      {{"a.bin", "a_02.png"}, "a.png"},
      {{"a.png/"}, "a_02.png"},
  };
  for (const auto& [existing, expected] : cases) {
    TempDir dir;
    make(dir.path(), existing);
    EXPECT_EQ(unique_output_path(dir.path(), "a", ".png"), dir.path() / expected);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), std::ssize(existing));
  }
  const std::pair<int, const char*> counters[] = {{9, "_09"}, {10, "_10"}, {100, "_100"}};
  for (const auto& [n, text] : counters) EXPECT_EQ(collision_counter_text(n), text);
  // The counter's last value, then the refusal.
  TempDir full;
  make(full.path(), {"a.png"});
  for (int n = 2; n <= 9998; ++n) {
    std::filesystem::create_hard_link(full.path() / "a.png", full.path() / ("a" + collision_counter_text(n) + ".png"));
  }
  EXPECT_EQ(unique_output_path(full.path(), "a", ".png"), full.path() / "a_9999.png");
  make(full.path(), {"a_9999.png"});
  EXPECT_EQ(failure_of([&] { unique_output_path(full.path(), "a", ".png"); }), "Too many filename collisions");
}

// Barring a midnight during the test: today's folder, always with a counter.
TEST(CreateDatedFolder, NeverReusesAFolderOrAName) {
  const std::string today = system_local_time().date_text(), stamp = system_local_time().timestamp_text();
  ASSERT_TRUE(today.size() == 10 && today[4] == '-' && today[7] == '-' && stamp.size() == 12) << today << stamp;
  EXPECT_EQ(stamp.substr(0, 6), today.substr(2, 2) + today.substr(5, 2) + today.substr(8, 2));
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "_01"},
      {{today + "_01/"}, "_02"},
      {{today + "_01/", today + "_02"}, "_03"},
      {{today + "/", "1999-01-01_01/"}, "_01"},
  };
  for (const auto& [existing, counter] : cases) {
    TempDir dir;
    make(dir.path(), existing);
    const auto created = create_dated_folder(dir.path(), today);
    EXPECT_EQ(created, dir.path() / (today + counter));
    EXPECT_TRUE(std::filesystem::is_directory(created) && std::filesystem::is_empty(created));
  }
}

}  // namespace
}  // namespace velmora
