#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "link/transport.h"
#include "platform/last_error.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

using test::SimRig;
using sim::FaultAction;
using sim::SimulatedCameraConfig;
using sim::TransferContext;

TEST(OpenCamera, ReportsCreateFileError) {
  SimulatedCameraConfig config;
  config.create_file_error = 2;
  SimRig rig(config);
  EXPECT_THAT([&] { rig.open(); }, ThrowsMessage<std::exception>(StrEq("CreateFile (Win32 error 2)")));
  EXPECT_EQ(rig.camera->open_handles(), 0);
}

TEST(OpenCamera, InitialisationErrorSurvivesTheHandleClose) {
  SimulatedCameraConfig config;
  config.initialize_error = 31;
  config.close_handle_sets_error = 6;  // a close that clobbers the last error
  SimRig rig(config);
  EXPECT_THAT([&] { rig.open(); }, ThrowsMessage<std::exception>(StrEq("WinUsb_Initialize (Win32 error 31)")));
  EXPECT_EQ(rig.camera->open_handles(), 0) << "the file handle must be closed";
}

TEST(OpenCamera, OpensWithoutTransfersAndClosesOnce) {
  SimRig rig;
  {
    CameraSession session = rig.open();
    EXPECT_TRUE(session.is_open());
    EXPECT_EQ(rig.camera->open_handles(), 2);
    CameraSession moved = std::move(session);
    EXPECT_FALSE(session.is_open());
    close_camera(session);  // closed already: nothing happens
    moved = std::move(moved);
    EXPECT_TRUE(moved.is_open());
    close_camera(moved);
    close_camera(moved);
    EXPECT_EQ(rig.camera->open_handles(), 0);
  }
  EXPECT_EQ(rig.camera->pipe_transfers(), 0u);
}

TEST(OpenCamera, MoveAssignmentReleasesTheTarget) {
  SimRig rig;
  CameraSession first = rig.open();
  CameraSession second;
  second = std::move(first);
  EXPECT_EQ(rig.camera->open_handles(), 2);
  second = CameraSession();
  EXPECT_EQ(rig.camera->open_handles(), 0);
}

TEST(QueryDescriptors, ReadsDeviceInterfaceAndPipes) {
  SimRig rig;
  CameraSession session = rig.open();
  const CameraDescriptors d = query_descriptors(session);
  EXPECT_EQ(d.opened_path, sim::kSimulatedDevicePath);
  EXPECT_EQ(d.vid, 0x093A);
  EXPECT_EQ(d.pid, 0x010E);
  EXPECT_EQ(d.bcd_usb, 0x0110);
  EXPECT_EQ(d.bcd_device, 0x0100);
  EXPECT_EQ(d.num_configurations, 1);
  EXPECT_EQ(d.interface_class, 0xFF);
  ASSERT_EQ(d.endpoints.size(), 3u);
  EXPECT_EQ(d.endpoints[0].address, 0x04);
  EXPECT_EQ(d.endpoints[1].address, 0x83);
  EXPECT_EQ(d.endpoints[2].address, 0x82);
  EXPECT_EQ(d.endpoints[2].pipe_type, 2u);
  EXPECT_EQ(d.endpoints[2].max_packet_size, 64);
}

struct IdCase {
  std::uint16_t vid, pid;
  bool accepted;
};

class QueryDescriptorsIds : public ::testing::TestWithParam<IdCase> {};

TEST_P(QueryDescriptorsIds, AcceptsOnlyTheTwoKnownProducts) {
  SimulatedCameraConfig config;
  config.vid = GetParam().vid;
  config.pid = GetParam().pid;
  SimRig rig(config);
  CameraSession session = rig.open();
  if (GetParam().accepted) {
    EXPECT_EQ(query_descriptors(session).pid, GetParam().pid);
  } else {
    EXPECT_THAT(
        [&] { query_descriptors(session); },
        ThrowsMessage<std::exception>(StrEq("Safety check failed: opened device is not a known MR97310 VID/PID")));
    EXPECT_EQ(rig.camera->descriptor_requests(), 1u);
    EXPECT_EQ(rig.camera->query_pipe_calls(), 0u) << "nothing after the descriptor request";
    EXPECT_EQ(rig.camera->pipe_transfers(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Ids, QueryDescriptorsIds,
                         ::testing::Values(IdCase{0x093A, 0x010E, true}, IdCase{0x093A, 0x010F, true},
                                           IdCase{0x093A, 0x010D, false}, IdCase{0x093B, 0x010E, false},
                                           IdCase{0x1234, 0x5678, false}));

TEST(QueryDescriptors, ShortDescriptorAndFailedCalls) {
  SimulatedCameraConfig config;
  config.device_descriptor_length = 17;
  SimRig rig(config);
  CameraSession session = rig.open();
  EXPECT_THAT([&] { query_descriptors(session); },
              ThrowsMessage<std::exception>(StrEq("USB device descriptor was shorter than expected")));

  SimulatedCameraConfig failing;
  failing.get_descriptor_error = 1167;
  SimRig rig2(failing);
  CameraSession session2 = rig2.open();
  EXPECT_THAT([&] { query_descriptors(session2); },
              ThrowsMessage<std::exception>(StrEq("WinUsb_GetDescriptor(device) (Win32 error 1167)")));

  SimulatedCameraConfig no_interface;
  no_interface.interface_settings_error = 31;
  SimRig rig3(no_interface);
  CameraSession session3 = rig3.open();
  EXPECT_THAT([&] { query_descriptors(session3); },
              ThrowsMessage<std::exception>(StrEq("WinUsb_QueryInterfaceSettings (Win32 error 31)")));
  EXPECT_THAT([&] { require_endpoint(session3, 0x04, 2); },
              ThrowsMessage<std::exception>(StrEq("WinUsb_QueryInterfaceSettings (Win32 error 31)")));
}

TEST(QueryDescriptors, FortyEndpointsGiveThirtyTwoButRequireScansAll) {
  SimulatedCameraConfig config;
  config.endpoints.clear();
  for (int i = 0; i < 39; ++i) config.endpoints.push_back({static_cast<std::uint8_t>(0x01 + i % 8), 3});
  config.endpoints.push_back({0x82, 2});
  SimRig rig(config);
  CameraSession session = rig.open();
  EXPECT_EQ(query_descriptors(session).endpoints.size(), 32u);
  EXPECT_NO_THROW(require_endpoint(session, 0x82, 2));
}

TEST(QueryDescriptors, FailingPipeQueryIsSkipped) {
  SimulatedCameraConfig config;
  config.endpoints[1].query_fails = true;
  SimRig rig(config);
  CameraSession session = rig.open();
  const auto d = query_descriptors(session);
  ASSERT_EQ(d.endpoints.size(), 2u);
  EXPECT_EQ(d.endpoints[1].address, 0x82);
  EXPECT_THAT([&] { require_endpoint(session, 0x83, 2); },
              ThrowsMessage<std::exception>(StrEq("Required MR97310 endpoint is missing or has unexpected type")));
}

struct EndpointCase {
  const char* name;
  std::vector<sim::SimulatedEndpoint> endpoints;
  std::uint8_t address;
  bool present;
};

class RequireEndpoint : public ::testing::TestWithParam<EndpointCase> {};

TEST_P(RequireEndpoint, MatchesAddressAndType) {
  SimulatedCameraConfig config;
  config.endpoints = GetParam().endpoints;
  SimRig rig(config);
  CameraSession session = rig.open();
  if (GetParam().present) {
    EXPECT_NO_THROW(require_endpoint(session, GetParam().address, 2));
  } else {
    EXPECT_THAT([&] { require_endpoint(session, GetParam().address, 2); },
                ThrowsMessage<std::exception>(StrEq("Required MR97310 endpoint is missing or has unexpected type")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pipes, RequireEndpoint,
    ::testing::Values(EndpointCase{"bulk_present", {{0x04}, {0x83}, {0x82}}, 0x82, true},
                      EndpointCase{"interrupt_rejected", {{0x04}, {0x83}, {0x82, 3}}, 0x82, false},
                      EndpointCase{"missing", {{0x04}, {0x83}}, 0x82, false},
                      EndpointCase{"no_endpoints", {}, 0x04, false},
                      EndpointCase{"direction_matters", {{0x02}}, 0x82, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SetPipeTimeout, SetsThePolicyOrReports) {
  SimRig rig;
  CameraSession session = rig.open();
  set_pipe_timeout(session, 0x82, 5000);
  EXPECT_EQ(rig.camera->pipe_timeout(0x82), 5000u);

  SimulatedCameraConfig config;
  config.set_pipe_policy_error = 87;
  SimRig failing(config);
  CameraSession session2 = failing.open();
  EXPECT_THAT([&] { set_pipe_timeout(session2, 0x04, 1500); },
              ThrowsMessage<std::exception>(StrEq("WinUsb_SetPipePolicy(PIPE_TRANSFER_TIMEOUT) (Win32 error 87)")));
}

class BulkBounds : public ::testing::Test {
 protected:
  SimRig rig;
  CameraSession session = rig.open();
  TransferLog log;
};

TEST_F(BulkBounds, WriteLengthsOutsideOneToSixteenAreRefusedUnlogged) {
  for (std::size_t n : {0u, 17u, 64u}) {
    const std::vector<std::uint8_t> bytes(n, 0x19);
    EXPECT_THAT([&] { bulk_write(session, 0x04, bytes, log, 0, "x"); },
                ThrowsMessage<std::exception>(StrEq("Safety check: command write length outside allowed 1..16 bytes")));
  }
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(rig.camera->pipe_transfers(), 0u);
  const std::vector<std::uint8_t> sixteen(16, 0x19);
  EXPECT_NO_THROW(bulk_write(session, 0x04, sixteen, log, 0, "sixteen"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].requested, 16u);
}

TEST_F(BulkBounds, ReadLengthsOutsideOneTo8192AreRefusedUnlogged) {
  for (std::uint64_t n : {0ull, 8193ull, 1ull << 33}) {
    EXPECT_THAT([&] { bulk_read(session, 0x83, n, true, log, 0, "x"); },
                ThrowsMessage<std::exception>(StrEq("Safety check: read length outside allowed 1..8192 bytes")));
  }
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(rig.camera->pipe_transfers(), 0u);
  const std::uint8_t status[] = {0x21};
  bulk_write(session, 0x04, status, log, 0, "");
  EXPECT_EQ(bulk_read(session, 0x83, 16, true, log, 0, "").size(), 16u);
  bulk_write(session, 0x04, status, log, 0, "");
  EXPECT_EQ(bulk_read(session, 0x83, 8192, false, log, 0, "").size(), 16u) << "8192 is allowed; inexact read";
  EXPECT_EQ(log.size(), 4u);
  EXPECT_TRUE(log.back().ok);
}

TEST(BulkRead, ShortExactReadLogsTheBytesAndRaises) {
  for (const std::string label : {"step / status response", ""}) {
    SimulatedCameraConfig config;
    config.fault = [](const TransferContext& c) -> std::optional<FaultAction> {
      if (c.endpoint == 0x83) return FaultAction{FaultAction::Kind::Short, 0, 10};
      return std::nullopt;
    };
    SimRig rig(config);
    CameraSession session = rig.open();
    TransferLog log;
    const std::uint8_t status[] = {0x21};
    bulk_write(session, 0x04, status, log, 3, "w");
    EXPECT_THAT([&] { bulk_read(session, 0x83, 16, true, log, 7, label); },
                ThrowsMessage<std::exception>(StrEq("Short USB read (expected fixed response length)")));
    ASSERT_EQ(log.size(), 2u);
    const TransferRecord& r = log[1];
    EXPECT_EQ(r.sequence, 2u);
    EXPECT_EQ(r.elapsed_ms, 7u);
    EXPECT_EQ(r.direction, "IN");
    EXPECT_EQ(r.endpoint, 0x83);
    EXPECT_EQ(r.requested, 16u);
    EXPECT_EQ(r.data.size(), 10u);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error_code, 0u);
    EXPECT_EQ(r.label, label.empty() ? "short read" : label + "; short read");
  }
}

TEST(BulkRead, FailedReadLogsEmptyDataAndTheCode) {
  SimRig rig;
  CameraSession session = rig.open();
  set_pipe_timeout(session, 0x83, 1500);
  TransferLog log;
  // Nothing was requested, so the status pipe times out.
  EXPECT_THAT([&] { bulk_read(session, 0x83, 16, true, log, 0, "answer"); },
              ThrowsMessage<std::exception>(StrEq("WinUsb_ReadPipe (Win32 error 121)")));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_FALSE(log[0].ok);
  EXPECT_TRUE(log[0].data.empty());
  EXPECT_EQ(log[0].error_code, 121u);
  EXPECT_EQ(log[0].requested, 16u);
  EXPECT_EQ(log[0].label, "answer");
  EXPECT_EQ(rig.clock.slept_ms(), 1500u) << "the timeout is spent before the failure";
}

TEST(BulkWrite, FailedAndShortWrites) {
  SimulatedCameraConfig config;
  config.fault = [](const TransferContext& c) -> std::optional<FaultAction> {
    if (c.transfer == 1) return FaultAction{FaultAction::Kind::Fail, 1167};
    if (c.transfer == 2) return FaultAction{FaultAction::Kind::Short, 0, 1};
    return std::nullopt;
  };
  SimRig rig(config);
  CameraSession session = rig.open();
  TransferLog log;
  const std::uint8_t command[] = {0x19, 0x51};
  EXPECT_THAT([&] { bulk_write(session, 0x04, command, log, 0, "start"); },
              ThrowsMessage<std::exception>(StrEq("WinUsb_WritePipe (Win32 error 1167)")));
  EXPECT_THAT([&] { bulk_write(session, 0x04, command, log, 0, "start"); },
              ThrowsMessage<std::exception>(StrEq("Short USB command write")));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].error_code, 1167u);
  EXPECT_EQ(log[0].data, (std::vector<std::uint8_t>{0x19, 0x51})) << "a failed write keeps the whole command";
  EXPECT_EQ(log[1].label, "start; short write");
  EXPECT_EQ(log[1].error_code, 0u);
  EXPECT_FALSE(log[1].ok);
  EXPECT_EQ(log[1].sequence, 2u);
}

}  // namespace
}  // namespace velmora
