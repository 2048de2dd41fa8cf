// velmora probe: open the camera, show its descriptors and pipes, and make
// one status exchange, with its transfer log.
#include <iostream>

#include "base/failure.h"
#include "base/text.h"
#include "cli/camera_source.h"
#include "cli/cli_common.h"
#include "link/discovery.h"
#include "link/transport.h"
#include "ops/refresh.h"
#include "protocol/exchange.h"

namespace velmora::cli {
namespace {

std::string hex4(unsigned value) { return hex_number(value, 4, true); }

std::string hex2(unsigned value) { return "0x" + hex_number(value, 2); }

const char* pipe_type_name(std::uint32_t type) {
  switch (type) {
    case 0: return "control";
    case 1: return "isochronous";
    case 2: return "bulk";
    case 3: return "interrupt";
    default: return "unknown";
  }
}

int run_probe(const std::vector<std::string>& args) {
  auto source = make_camera_source(only_camera_option(args));
  const CameraEnvironment& env = source->env();

  const auto interfaces = find_camera_interfaces(env.devices);
  const CameraInterfaceInfo* camera = nullptr;
  for (const auto& info : interfaces) {
    std::cout << "Interface " << hex4(info.vendor_id) << ":" << hex4(info.product_id) << " "
              << utf16_to_utf8(info.device_path) << " (" << utf16_to_utf8(info.description) << ", driver "
              << utf16_to_utf8(info.driver_service) << ")\n";
    if (camera == nullptr && info.product_id == kCameraProductId) camera = &info;
  }
  if (camera == nullptr && !interfaces.empty()) throw Failure(kVariantRefusal);
  if (camera == nullptr) throw Failure("No WinUSB-bound 093A:010E camera found");

  CameraSession session = open_camera(env.usb, camera->device_path, env.clock);
  const CameraDescriptors d = query_descriptors(session);
  std::cout << "Opened " << utf16_to_utf8(d.opened_path) << "\n"
            << "  VID:PID " << hex4(d.vid) << ":" << hex4(d.pid) << ", USB " << hex4(d.bcd_usb) << ", device "
            << hex4(d.bcd_device) << ", class " << hex2(d.device_class) << "/" << hex2(d.device_subclass) << "/"
            << hex2(d.device_protocol) << ", " << int{d.num_configurations} << " configuration(s)\n"
            << "  interface " << int{d.interface_number} << ", class " << hex2(d.interface_class) << "/"
            << hex2(d.interface_subclass) << "/" << hex2(d.interface_protocol) << ", " << d.endpoints.size()
            << " endpoint(s)\n";
  for (const auto& e : d.endpoints) {
    std::cout << "  endpoint " << hex2(e.address) << " " << ((e.address & 0x80) ? "IN " : "OUT") << " "
              << pipe_type_name(e.pipe_type) << ", max packet " << e.max_packet_size << ", interval "
              << int{e.interval} << "\n";
  }

  require_endpoint(session, kCommandPipe, kPipeTypeBulk);
  require_endpoint(session, kStatusPipe, kPipeTypeBulk);
  set_pipe_timeout(session, kCommandPipe, 1500);
  set_pipe_timeout(session, kStatusPipe, 1500);
  TransferLog log;
  const OperationClock clock = OperationClock::start(env.clock);
  ExchangeContext context{session, log, clock};
  const StatusResponse status = request_status(context, "initial status");
  std::cout << "Status byte 0: " << hex2(status[0])
            << (status[0] == kStatusJammed ? " (jammed)" : status[0] == 0 ? " (ready)" : "") << "\n"
            << "Transfer log:\n";
  for (const auto& r : log) {
    std::cout << "  #" << r.sequence << " +" << r.elapsed_ms << " ms " << r.direction << " " << hex2(r.endpoint)
              << " requested " << r.requested << " actual " << r.data.size() << (r.ok ? " ok" : " FAILED")
              << " error " << r.error_code << " \"" << r.label << "\": " << hex_bytes(r.data) << "\n";
  }
  return 0;
}

const CommandRegistration registration{"probe", "probe [--simulated-camera[=FOLDER|SCENARIO]]", run_probe};

}  // namespace
}  // namespace velmora::cli
