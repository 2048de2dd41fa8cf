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
#include "ops/session_log.h"
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

void print_interfaces(const std::vector<CameraInterfaceInfo>& interfaces) {
  for (const auto& info : interfaces) {
    std::cout << "Interface " << hex4(info.vendor_id) << ":" << hex4(info.product_id) << " "
              << utf16_to_utf8(info.device_path) << " (" << utf16_to_utf8(info.description) << ", driver "
              << utf16_to_utf8(info.driver_service) << ")\n";
  }
}

void print_descriptors(const CameraDescriptors& d) {
  std::cout << "Opened " << utf16_to_utf8(d.opened_path) << "\n"
            << "  VID:PID " << hex4(d.vid) << ":" << hex4(d.pid) << ", USB " << hex4(d.bcd_usb) << ", device "
            << hex4(d.bcd_device) << ", class " << hex2(d.device_class) << "/" << hex2(d.device_subclass) << "/"
            << hex2(d.device_protocol) << ", " << int{d.num_configurations} << " configuration(s)\n"
            << "  interface " << int{d.interface_number} << ", class " << hex2(d.interface_class) << "/"
            << hex2(d.interface_subclass) << "/" << hex2(d.interface_protocol) << ", " << d.endpoints.size()
            << " endpoint(s)\n";
  for (const auto& e : d.endpoints) {
    std::cout << "  endpoint " << hex2(e.address) << " " << ((e.address & 0x80) ? "IN " : "OUT") << " "
              << pipe_type_name(e.pipe_type) << ", max packet " << e.max_packet_size << ", interval " << int{e.interval}
              << "\n";
  }
}

int run_probe(const std::vector<std::string>& args) {
  auto source = make_camera_source(only_camera_option(args));
  const CameraEnvironment& env = source->env();
  const auto interfaces = find_camera_interfaces(env.devices);
  print_interfaces(interfaces);
  CameraDescriptors descriptors;
  CameraSession session = open_chosen_camera(env, choose_camera(interfaces), descriptors);
  print_descriptors(descriptors);

  // The refresh's preparation; no data is read, so the data pipe keeps the status pipe's timeout.
  prepare_session(session, 1500, kVariantRefusal);
  TransferLog log;
  const OperationClock clock = OperationClock::start(env.clock);
  ExchangeContext context{session, log, clock};
  const StatusResponse status = request_status(context, "initial status");
  std::cout << "Status byte 0: " << hex2(status[0])
            << (status[0] == kStatusJammed ? " (jammed)"
                : status[0] == 0           ? " (ready)"
                                           : "")
            << "\n"
            << "Transfer log:\n"
            << format_usb_log(log);
  return 0;
}

const CommandRegistration registration{"probe", "probe [--simulated-camera[=FOLDER|SCENARIO]]", run_probe};

}  // namespace
}  // namespace velmora::cli
