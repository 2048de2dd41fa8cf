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

TEST(FetchPhoto, CleanFetchAddressesWithPatBytesOneToSix) {
  SimulatedCameraConfig config;
  const auto stored = stored_photo(90892, 3);
  config.image.photos[0x001234] = stored;
  SimRig rig(config);
  CameraSession session = rig.open();
  const PhotoEntry entry = entry_with({0x22, 0x34, 0x12, 0x00, 0x0C, 0x63, 0x01, 0x07});
  const PhotoTransfer result = fetch_photo(session, entry);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.payload_size, 90892u);
  EXPECT_EQ(result.transfer_size, 98304u);
  EXPECT_EQ(result.transfer.size(), 98304u);
  EXPECT_EQ(result.payload, stored);
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), result.transfer.begin() + 128));
  ASSERT_EQ(result.log.size(), 28u + 12u);
  for (std::size_t i = 0; i < result.log.size(); ++i) EXPECT_EQ(result.log[i].sequence, i + 1);

  std::vector<std::vector<std::uint8_t>> addresses;
  for (const auto& r : result.log) {
    if (r.label.rfind("PHOTO address byte", 0) == 0 && r.direction == "OUT" && r.data.size() == 2) {
      addresses.push_back(r.data);
    }
  }
  using B = std::vector<std::uint8_t>;
  EXPECT_EQ(addresses, (std::vector<B>{{0x19, 0x34}, {0x19, 0x12}, {0x19, 0x00}, {0x19, 0x0C}, {0x19, 0x63}, {0x19, 0x01}}));
  EXPECT_EQ(result.log[0].label, "PHOTO GET_DATA initial status / request status");
  EXPECT_EQ(result.log[2].label, "PHOTO GET_DATA start 0x51");
  EXPECT_EQ(result.log[5].label, "PHOTO GET_DATA operation 0x0f");
  EXPECT_EQ(result.log[11].label, "PHOTO address byte 2; begin bounded positioning poll");
  EXPECT_EQ(result.log[12].label, "PHOTO GET_DATA positioning poll 1 (paced; 2000ms deadline) / request status");
  EXPECT_EQ(result.log[26].label, "PHOTO final data-intent token");
  EXPECT_EQ(result.log[27].label, "PHOTO final response");
  EXPECT_EQ(result.log[28].label, "PHOTO data chunk 1");
  EXPECT_EQ(result.log.back().label, "PHOTO data chunk 12");
  EXPECT_EQ(result.log.back().requested, 8192u);
  EXPECT_EQ(rig.camera->pipe_timeout(0x82), 5000u);
  EXPECT_TRUE(only_allowed_commands(*rig.camera));
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

TEST(FetchPhoto, ClearedJamContinuesWithTheWholeSequence) {
  SimulatedCameraConfig config;
  config.image.photos[0x000100] = stored_photo(100, 1);
  config.jam_at = [](const sim::SequenceContext& s) { return s.sequence == 1; };
  SimRig rig(config);
  CameraSession session = rig.open();
  const PhotoTransfer result = fetch_photo(session, entry_of_size(0x000100, 100));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.log.size(), 4u + 28u + 1u);
  EXPECT_EQ(result.log[2].label, "PHOTO GET_DATA documented single-attempt jam-clear token");
  EXPECT_EQ(result.log[6].label, "PHOTO GET_DATA start 0x51");
}

TEST(FetchPhoto, JamThatStaysAndMissingAcknowledgement) {
  SimulatedCameraConfig jammed;
  jammed.jam_at = [](const sim::SequenceContext&) { return true; };
  jammed.jam_clear_works = false;
  SimRig rig(jammed);
  CameraSession session = rig.open();
  PhotoTransfer result = fetch_photo(session, entry_of_size(0x000100, 100));
  EXPECT_EQ(result.error, "Camera remains jammed after the single documented photo-download clear attempt");
  EXPECT_EQ(result.log.size(), 6u);

  SimulatedCameraConfig silent;
  silent.ack_after_polls = 0;
  SimRig rig2(silent);
  CameraSession session2 = rig2.open();
  result = fetch_photo(session2, entry_of_size(0x000100, 100));
  EXPECT_EQ(result.error, "Camera did not acknowledge photo positioning within the 2000 ms paced deadline");
  EXPECT_EQ(result.log.size(), 12u + 2u * 256u) << "256 quick attempts come before the 2000 ms deadline";
  EXPECT_TRUE(only_allowed_commands(*rig2.camera));
}

TEST(FetchPhoto, RefusesTheVariantBeforeAnyTransfer) {
  SimulatedCameraConfig config;
  config.pid = 0x010F;
  SimRig rig(config);
  CameraSession session = rig.open();
  try {
    fetch_photo(session, entry_of_size(0x000100, 100));
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Active photo download is intentionally limited to verified CIF PID 010e");
  }
  EXPECT_EQ(rig.camera->pipe_transfers(), 0u);
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
