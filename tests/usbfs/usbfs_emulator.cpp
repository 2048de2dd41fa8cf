// Runs PROGRAM (the unchanged velmora binary) under the umockdev preload against one emulated device answered by the
// simulated camera. An IN URB with no answer stays pending until the host discards it, so time-outs run on libusb's
// own clock. The report lists every command the device received and every request outside what the camera allows.
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <utility>

#include "base/text.h"
#include "platform/last_error.h"
#include "sim/scenarios.h"

namespace velmora {
namespace {

constexpr const char* kDeviceNode = "/dev/bus/usb/001/002";

usbdevfs_urb& fields(UMockdevIoctlData* urb) { return *reinterpret_cast<usbdevfs_urb*>(urb->data); }

// Every call runs on umockdev's worker thread, under the lock.
struct UsbfsCamera {
  UsbfsCamera(sim::SimulatedCameraConfig config, bool driver)
      : camera(std::move(config), clock), kernel_driver(driver) {}
  std::mutex mutex;
  VirtualClock clock;
  sim::SimulatedCamera camera;
  bool kernel_driver;
  bool claimed = false, open = false;
  OsHandle file = invalid_os_handle();
  WinUsbHandle usb = nullptr;
  std::deque<UMockdevIoctlData*> pending, completed;  // one reference held on each
  std::vector<std::string> problems;

  // Opened at the first request after a claim, as the in-process camera is, so its openings count alike.
  std::uint32_t open_session() {
    if (open) return 0;
    if ((file = camera.create_file(camera.config().device_path)) == invalid_os_handle()) return get_last_error();
    if (camera.initialize(file, &usb)) return open = true, 0;
    const std::uint32_t code = get_last_error();
    return camera.close_handle(file), code;
  }

  void close_session() {
    if (std::exchange(open, false)) camera.free(usb), camera.close_handle(file);
  }

  // One URB through the simulated camera; false with the camera's error code.
  bool transfer(usbdevfs_urb& urb, std::uint8_t* buffer, std::uint32_t* moved) {
    const auto length = static_cast<std::uint32_t>(urb.buffer_length);
    if (urb.type == USBDEVFS_URB_TYPE_BULK)
      return urb.endpoint & 0x80 ? camera.read_pipe(usb, urb.endpoint, buffer, length, moved)
                                 : camera.write_pipe(usb, urb.endpoint, buffer, length, moved);
    // A control URB: the setup packet leads the buffer; only GET_DESCRIPTOR is answered.
    const std::uint16_t wanted = static_cast<std::uint16_t>(buffer[6] | (buffer[7] << 8));
    if (urb.type != USBDEVFS_URB_TYPE_CONTROL || buffer[0] != 0x80 || buffer[1] != 6 || length < 8u + wanted) {
      return problems.push_back("URB of type " + std::to_string(urb.type) + ": " + hex_bytes({buffer, 8})), false;
    }
    return camera.get_descriptor(usb, buffer[3], buffer[2], static_cast<std::uint16_t>(buffer[4] | (buffer[5] << 8)),
                                 buffer + 8, wanted, moved);
  }

  int handle(gulong request, UMockdevIoctlData* arg) {
    switch (request) {
      case USBDEVFS_GET_CAPABILITIES:
        return write_through(arg, guint32{USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                          USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET});
      case USBDEVFS_GETDRIVER: return kernel_driver ? write_through(arg, usbdevfs_getdriver{0, "camera"}) : ENODATA;
      case USBDEVFS_CLAIMINTERFACE:
        if (kernel_driver || camera.config().initialize_error == kErrorBusy) return EBUSY;
        return close_session(), claimed = true, 0;
      case USBDEVFS_RELEASEINTERFACE: return close_session(), claimed = false, 0;
      case USBDEVFS_SUBMITURB: return submit(umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr));
      case USBDEVFS_REAPURB:
      case USBDEVFS_REAPURBNDELAY: {
        if (completed.empty()) return open && camera.unplugged() ? ENODEV : EAGAIN;
        UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
        umockdev_ioctl_data_set_ptr(slot, 0, completed.front());
        return g_object_unref(slot), g_object_unref(completed.front()), completed.pop_front(), 0;
      }
      case USBDEVFS_DISCARDURB: {
        const auto it = std::find_if(pending.begin(), pending.end(), [&](UMockdevIoctlData* urb) {
          return std::memcmp(&urb->client_addr, arg->data, sizeof urb->client_addr) == 0;
        });
        if (it == pending.end()) return EINVAL;
        fields(*it).status = -ENOENT;
        return completed.push_back(*it), pending.erase(it), 0;
      }
      default: return problems.push_back("unexpected ioctl " + std::to_string(request)), ENOTTY;
    }
  }

  int submit(UMockdevIoctlData* urb) {
    UMockdevIoctlData* buffer =
        umockdev_ioctl_data_resolve(urb, offsetof(usbdevfs_urb, buffer), fields(urb).buffer_length, nullptr);
    std::uint32_t code = open_session(), moved = 0;
    if (code == 0 && !transfer(fields(urb), buffer ? buffer->data : nullptr, &moved)) code = get_last_error();
    if (buffer) g_object_unref(buffer);
    // Unplugged: the kernel refuses the URB. No answer yet: it waits for a discard.
    if (code == kErrorDeviceNotConnected || code == kErrorFileNotFound) return g_object_unref(urb), ENODEV;
    fields(urb).status = code == 0 ? 0 : -EPIPE;
    fields(urb).actual_length = code == 0 ? static_cast<int>(moved) : 0;
    (code == kErrorSemTimeout ? pending : completed).push_back(urb);
    return 0;
  }

  template <class Value>
  static int write_through(UMockdevIoctlData* arg, const Value& value) {
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof value, nullptr);
    return std::memcpy(data->data, &value, sizeof value), g_object_unref(data), 0;
  }
};

gboolean on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer device) {
  auto& camera = *static_cast<UsbfsCamera*>(device);
  const std::lock_guard lock(camera.mutex);
  const int error = camera.handle(umockdev_ioctl_client_get_request(client), umockdev_ioctl_client_get_arg(client));
  umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
  return TRUE;
}

// The sysfs record libusb reads for the device.
std::string device_record(const sim::SimulatedCamera& camera) {
  std::string hex = hex_bytes(camera.device_descriptor()) + hex_bytes(camera.configuration_descriptor()),
              record(999, 0);
  std::erase(hex, ' ');
  record.resize(std::snprintf(record.data(), record.size(),
                              "P: /devices/usb1/1-1\nN: bus/usb/001/002\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
                              "E: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=002\nE: DEVNAME=%s\nA: busnum=1\\n\n"
                              "A: devnum=2\\n\nA: speed=12\\n\nA: bConfigurationValue=1\\n\nA: idVendor=%04x\\n\n"
                              "A: idProduct=%04x\\n\nH: descriptors=",
                              kDeviceNode, camera.config().vid, camera.config().pid));
  return record + hex + "\n";
}

int run_program(char** argv) {
  const char* existing = g_getenv("LD_PRELOAD");
  const std::string preload = std::string("libumockdev-preload.so.0 ") + (existing ? existing : "");
  gchar** env = g_environ_setenv(g_get_environ(), "LD_PRELOAD", preload.c_str(), TRUE);
  int status = 127 << 8;
  g_spawn_sync(nullptr, argv, env, GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_CHILD_INHERITS_STDIN), nullptr, nullptr,
               nullptr, nullptr, &status, nullptr);
  g_strfreev(env);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// velmora_usbfs_emulator REPORT CAMERA MODE PROGRAM ARGS...: CAMERA a scenario or "-" for a healthy camera;
// MODE "-", "kernel-driver" (one holds the interface) or "no-permission" (the kernel refuses the device node).
int emulate(int argc, char** argv) {
  const std::string scenario = argc > 4 ? argv[2] : "", mode = argc > 4 ? argv[3] : "";
  auto setup = scenario == "-" ? sim::healthy_setup(sim::builtin_camera_image())
                               : sim::scenario_setup(scenario, sim::builtin_camera_image());
  if (!setup) return g_printerr("usage: velmora_usbfs_emulator REPORT CAMERA MODE PROGRAM ARGS...\n"), 2;
  UsbfsCamera device(std::move(setup->camera), mode == "kernel-driver");
  UMockdevTestbed* testbed = umockdev_testbed_new();
  UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(on_ioctl), &device);
  GError* error = nullptr;
  // The handler is in place before the device appears, so no open finds it unanswered.
  if (scenario != "disconnected" &&
      (!umockdev_testbed_attach_ioctl(testbed, kDeviceNode, handler, &error) ||
       !umockdev_testbed_add_from_string(testbed, device_record(device.camera).c_str(), &error))) {
    g_printerr("velmora_usbfs_emulator: %s\n", error ? error->message : "umockdev failed");
    return 2;
  }
  gchar* root = umockdev_testbed_get_root_dir(testbed);
  if (mode == "no-permission") chmod((root + std::string(kDeviceNode)).c_str(), 0);  // a user other than root
  g_free(root);
  const int status = run_program(argv + 4);
  const std::lock_guard lock(device.mutex);
  device.close_session();
  std::ofstream report(argv[1]);
  for (const auto& write : device.camera.host_writes()) report << "write " << hex_bytes(write) << "\n";
  for (const auto& v : device.camera.violations()) report << "violation " << v << "\n";
  for (const auto& p : device.problems) report << "problem " << p << "\n";
  if (device.claimed) report << "problem interface 0 still claimed when the program ended\n";
  g_object_unref(testbed);
  g_object_unref(handler);
  return status;
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) { return velmora::emulate(argc, argv); }
