#include <gtest/gtest.h>

#include "protocol/photo_fetch.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using sim::FaultAction;
using sim::SimulatedCameraConfig;
using testing::only_allowed_commands;
using testing::SimRig;

PhotoEntry entry_with(std::array<std::uint8_t, 8> pat) {
  PhotoEntry e;
  e.pat_bytes = pat;
  e.flags = pat[0];
  e.type_code = pat[0] & 0x0F;
  e.compressed = (pat[0] & 0x20) != 0;
  e.size_bytes = static_cast<std::uint32_t>(pat[4] | (pat[5] << 8) | (pat[6] << 16));
  return e;
}

PhotoEntry entry_of_size(std::uint32_t location, std::uint32_t size) {
  return entry_with({0x21, static_cast<std::uint8_t>(location), static_cast<std::uint8_t>(location >> 8),
                     static_cast<std::uint8_t>(location >> 16), static_cast<std::uint8_t>(size),
                     static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size >> 16), 0});
}

std::vector<std::uint8_t> stored_photo(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

struct SizeCase {
  std::uint32_t size;
  std::uint64_t transfer;
};

class FetchPhotoSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(FetchPhotoSizes, ChunkCountFollowsTheTransferLength) {
  SimulatedCameraConfig config;
  config.image.photos[0x000100] = stored_photo(GetParam().size, 9);
  SimRig rig(config);
  CameraSession session = rig.open();
  const PhotoTransfer result = fetch_photo(session, entry_of_size(0x000100, GetParam().size));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.transfer_size, GetParam().transfer);
  EXPECT_EQ(result.log.size(), 28u + GetParam().transfer / 8192);
  EXPECT_EQ(result.payload.size(), GetParam().size);
  EXPECT_EQ(result.payload, rig.camera->config().image.photos.at(0x000100));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FetchPhotoSizes,
                         ::testing::Values(SizeCase{1, 8192}, SizeCase{7759, 8192}, SizeCase{7760, 16384},
                                           SizeCase{25356, 32768}, SizeCase{101388, 106496},
                                           SizeCase{16776783, 16777216}));

struct RefusedSize {
  std::uint32_t size;
  std::string error;
};

class FetchPhotoRefused : public ::testing::TestWithParam<RefusedSize> {};

TEST_P(FetchPhotoRefused, SendsNothing) {
  SimRig rig;
  CameraSession session = rig.open();
  const PhotoTransfer result = fetch_photo(session, entry_of_size(0x000100, GetParam().size));
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, GetParam().error);
  EXPECT_TRUE(result.log.empty());
  EXPECT_TRUE(result.transfer.empty());
  EXPECT_EQ(result.payload_size, GetParam().size);
  EXPECT_EQ(rig.camera->pipe_transfers(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FetchPhotoRefused,
                         ::testing::Values(RefusedSize{0, "PAT reports a zero-byte photo"},
                                           RefusedSize{16776784, "PAT-derived transfer exceeds the 16 MiB safety cap"},
                                           RefusedSize{16777215, "PAT-derived transfer exceeds the 16 MiB safety cap"}));

TEST(FetchPhoto, ChunkTimeoutKeepsEarlierChunks) {
  SimulatedCameraConfig config;
  config.image.photos[0x000100] = stored_photo(25356, 1);
  config.fault = [](const sim::TransferContext& t) -> std::optional<FaultAction> {
    if (t.chunk == 3) return FaultAction{FaultAction::Kind::Fail, 121};
    return std::nullopt;
  };
  SimRig rig(config);
  CameraSession session = rig.open();
  const PhotoTransfer result = fetch_photo(session, entry_of_size(0x000100, 25356));
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "WinUsb_ReadPipe (Win32 error 121)");
  EXPECT_EQ(result.transfer.size(), 2u * 8192u);
  EXPECT_TRUE(result.payload.empty());
  EXPECT_EQ(result.transfer_size, 32768u);
  ASSERT_EQ(result.log.size(), 28u + 3u);
  EXPECT_EQ(result.log.back().label, "PHOTO data chunk 3");
  EXPECT_FALSE(result.log.back().ok);
  EXPECT_EQ(result.log.back().error_code, 121u);
  EXPECT_TRUE(result.log.back().data.empty());
  EXPECT_EQ(rig.clock.slept_ms() >= 5000u, true) << "the 5000 ms pipe timeout was waited out";
}

TEST(FetchPhoto, SecondPhotoOnOneSessionAfterAFailure) {
  SimulatedCameraConfig config;
  config.image.photos[0x000100] = stored_photo(9000, 1);
  config.image.photos[0x000200] = stored_photo(300, 2);
  config.fault = [](const sim::TransferContext& t) -> std::optional<FaultAction> {
    if (t.photo_ordinal == 1 && t.chunk == 1) return FaultAction{FaultAction::Kind::Fail, 121};
    return std::nullopt;
  };
  SimRig rig(config);
  CameraSession session = rig.open();
  EXPECT_FALSE(fetch_photo(session, entry_of_size(0x000100, 9000)).ok);
  const PhotoTransfer second = fetch_photo(session, entry_of_size(0x000200, 300));
  ASSERT_TRUE(second.ok) << second.error;
  EXPECT_EQ(second.payload, rig.camera->config().image.photos.at(0x000200));
  EXPECT_EQ(second.log[0].sequence, 1u) << "each fetch has its own log";
  EXPECT_TRUE(only_allowed_commands(*rig.camera));
}

}  // namespace
}  // namespace velmora
