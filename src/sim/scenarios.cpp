#include "sim/scenarios.h"

namespace velmora::sim {
namespace {

using Setup = SimulatedSetup;

std::optional<FaultAction> fail_directory_reads_1_and_3(const TransferContext& t) {
  if (t.directory_data && (t.opening == 1 || t.opening == 3))
    return FaultAction{FaultAction::Kind::Fail, kErrorSemTimeout};
  return std::nullopt;
}

}  // namespace

SimulatedSetup healthy_setup(CameraImage image) {
  Setup setup;
  setup.camera.image = std::move(image);
  setup.tree = device_tree_scenario(DeviceTreeScenario::CameraOnWinUsb);
  return setup;
}

std::vector<std::pair<std::string, std::string>> scenario_descriptions() {
  return {
      {"flaky-directory", "directory observations 1 and 3 time out; the list is the union of the others"},
      {"jammed", "every opening starts jammed; the single clear removes the jam"},
      {"stuck-jam", "the camera stays jammed after the clear; every read fails"},
      {"no-ack", "the camera never acknowledges positioning; every read fails"},
      {"photo-timeout", "a data chunk of the second photo fetched times out"},
      {"unplugged-mid-download", "the camera is unplugged during the second photo fetched"},
      {"interface-busy", "another program holds the camera's interface; it cannot be opened"},
      {"variant-010f", "only the related 093A:010F camera is attached"},
      {"no-winusb", "the camera is attached but no WinUSB driver is bound"},
      {"disconnected", "no camera is attached"},
      {"replug", "the camera is unplugged 20 s after start and plugged back in 15 s later"},
  };
}

std::optional<SimulatedSetup> scenario_setup(std::string_view name, CameraImage image) {
  Setup setup = healthy_setup(std::move(image));
  SimulatedCameraConfig& camera = setup.camera;
  // Failing transfers return at once so that scenarios run quickly.
  camera.charge_timeouts = false;
  if (name == "flaky-directory") {
    camera.fault = fail_directory_reads_1_and_3;
  } else if (name == "jammed") {
    camera.jam_at = [](const SequenceContext& s) { return s.sequence == 1; };
  } else if (name == "stuck-jam") {
    camera.jam_at = [](const SequenceContext&) { return true; };
    camera.jam_clear_works = false;
  } else if (name == "no-ack") {
    camera.ack_after_polls = 0;
  } else if (name == "photo-timeout") {
    camera.fault = [](const TransferContext& t) -> std::optional<FaultAction> {
      if (t.photo_ordinal == 2 && t.chunk == 2) return FaultAction{FaultAction::Kind::Fail, kErrorSemTimeout};
      return std::nullopt;
    };
  } else if (name == "unplugged-mid-download") {
    camera.fault = [](const TransferContext& t) -> std::optional<FaultAction> {
      if (t.photo_ordinal == 2 && t.chunk == 2) return FaultAction{FaultAction::Kind::Unplug};
      return std::nullopt;
    };
  } else if (name == "interface-busy") {
    camera.initialize_error = kErrorBusy;
  } else if (name == "variant-010f") {
    camera.pid = kRelatedProductId;
    camera.device_path = std::u16string(u"\\\\?\\usb#vid_093a&pid_010f#sim0002#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    setup.tree = device_tree_scenario(DeviceTreeScenario::RelatedVariantOnly);
  } else if (name == "no-winusb") {
    setup.tree = device_tree_scenario(DeviceTreeScenario::CameraWithoutDriver);
  } else if (name == "replug") {
    setup.plug_events = {{20000, false}, {15000, true}};
  } else if (name == "disconnected") {
    setup.tree = device_tree_scenario(DeviceTreeScenario::Empty);
  } else {
    return std::nullopt;
  }
  return setup;
}

}  // namespace velmora::sim
