#include "output/naming.h"
#include "platform/local_time.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "base/failure.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

using test::TempDir;

void touch(const std::filesystem::path& path) { std::ofstream(path) << "x"; }

std::vector<std::string> names_in(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool all_digits(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

TEST(CollisionCounter, TwoDigitsAreAMinimumWidth) {
  const std::pair<int, const char*> cases[] = {{2, "_02"}, {9, "_09"}, {10, "_10"}, {99, "_99"}, {100, "_100"},
                                               {9999, "_9999"}};
  for (const auto& [n, text] : cases) EXPECT_EQ(collision_counter_text(n), text) << n;
}

TEST(UniqueOutputPath, SkipsTakenNames) {
  const struct {
    const char* name;
    std::vector<std::string> existing;
    const char* expected;
  } cases[] = {
      {"empty folder", {}, "a.png"},
      {"bare name taken", {"a.png"}, "a_02.png"},
      {"a and a_02 taken", {"a.png", "a_02.png"}, "a_03.png"},
      {"a gap is filled", {"a.png", "a_03.png"}, "a_02.png"},
      {"other extensions do not count", {"a.bin", "a_02.png"}, "a.png"},
      {"a folder takes a name", {"a.png/"}, "a_02.png"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    for (const std::string& name : c.existing) {
      if (name.back() == '/') {
        std::filesystem::create_directory(dir.path() / name.substr(0, name.size() - 1));
      } else {
        touch(dir.path() / name);
      }
    }
    const auto before = names_in(dir.path());
    EXPECT_EQ(unique_output_path(dir.path(), "a", ".png"), dir.path() / c.expected);
    EXPECT_EQ(names_in(dir.path()), before);  // choosing a name creates nothing
  }
}

TEST(UniqueOutputPath, HundredthCandidateHasThreeDigits) {
  TempDir dir;
  touch(dir.path() / "a.txt");
  for (int n = 2; n <= 99; ++n) touch(dir.path() / ("a_" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".txt"));
  EXPECT_EQ(unique_output_path(dir.path(), "a", ".txt"), dir.path() / "a_100.txt");
}

TEST(UniqueOutputPath, GivesUpAfter9999Names) {
  TempDir dir;
  const auto folder = dir.path() / "photos";
  const auto seeds = dir.path() / "seeds";
  std::filesystem::create_directory(folder);
  std::filesystem::create_directory(seeds);
  // Hard links make 9999 names cheap; NTFS allows 1023 links to one file.
  for (int n = 1; n <= 9999; ++n) {
    const auto seed = seeds / std::to_string(n / 1000);
    if (!std::filesystem::exists(seed)) touch(seed);
    std::string name = "a";
    if (n >= 2) name += collision_counter_text(n);
    std::filesystem::create_hard_link(seed, folder / (name + ".png"));
  }
  EXPECT_THAT([&] { unique_output_path(folder, "a", ".png"); },
              ThrowsMessage<Failure>(StrEq("Too many filename collisions")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 9999);
}

TEST(CreateDatedFolder, CounterIsAlwaysPresentAndFoldersAreNeverReused) {
  const struct {
    const char* name;
    std::vector<std::string> existing;
    const char* expected;
  } cases[] = {
      {"empty base", {}, "2026-12-05_01"},
      {"first taken", {"2026-12-05_01"}, "2026-12-05_02"},
      {"a file takes the name too", {"2026-12-05_01", "2026-12-05_02.file"}, "2026-12-05_03"},
      {"a bare date folder is no candidate", {"2026-12-05"}, "2026-12-05_01"},
      {"other dates do not count", {"2026-12-04_01"}, "2026-12-05_01"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    for (std::string name : c.existing) {
      const bool file = name.ends_with(".file");
      if (file) {
        touch(dir.path() / name.substr(0, name.size() - 5));
      } else {
        std::filesystem::create_directory(dir.path() / name);
      }
    }
    const auto created = create_dated_folder(dir.path(), "2026-12-05");
    EXPECT_EQ(created, dir.path() / c.expected);
    EXPECT_TRUE(std::filesystem::is_directory(created));
    EXPECT_TRUE(std::filesystem::is_empty(created));
  }
}

TEST(CreateDatedFolder, UsesTodaysDate) {
  TempDir dir;
  const std::string today = system_local_time().date_text();
  const auto created = create_dated_folder(dir.path(), system_local_time().date_text());
  // Only a midnight between the two calls could tell them apart.
  if (system_local_time().date_text() == today) {
    EXPECT_EQ(created.filename().string(), today + "_01");
  }
}

TEST(CreateDatedFolder, MissingBaseIsAFileSystemError) {
  TempDir dir;
  try {
    create_dated_folder(dir.path() / "absent", "2026-12-05");
    ADD_FAILURE() << "no failure";
  } catch (const std::filesystem::filesystem_error& error) {
    EXPECT_NE(std::string(error.what()).find("create_directory"), std::string::npos) << error.what();
    EXPECT_EQ(error.path1(), dir.path() / "absent" / "2026-12-05_01");
  }
}

TEST(LocalTimeText, Formats) {
  const std::string date = system_local_time().date_text();
  ASSERT_EQ(date.size(), 10u);
  EXPECT_TRUE(all_digits(date.substr(0, 4)) && all_digits(date.substr(5, 2)) && all_digits(date.substr(8, 2)));
  EXPECT_EQ(date[4], '-');
  EXPECT_EQ(date[7], '-');
  const std::string stamp = system_local_time().timestamp_text();
  ASSERT_EQ(stamp.size(), 12u);
  EXPECT_TRUE(all_digits(stamp));
  // yymmdd of the stamp is the date's, barring a midnight in between.
  if (system_local_time().date_text() == date) {
    EXPECT_EQ(stamp.substr(0, 6), date.substr(2, 2) + date.substr(5, 2) + date.substr(8, 2));
  }
}

}  // namespace
}  // namespace velmora
