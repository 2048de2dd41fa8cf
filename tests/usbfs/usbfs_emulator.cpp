// velmora_usbfs_emulator [--camera=SCENARIO] [--kernel-driver] [--no-permission] --report=FILE -- PROGRAM ARGS...
//
// Runs PROGRAM (the unchanged velmora binary) under the umockdev preload
// against one emulated device, /dev/bus/usb/001/002, whose usbfs ioctls the
// simulated camera answers. An IN URB the camera has no answer for stays
// pending until the host discards it, so time-outs run on libusb's own clock
// as on hardware. Exits with PROGRAM's status; the report lists every command
// the device received and every request outside what the camera allows.
// With --no-permission the kernel refuses PROGRAM the device node.
#include <glib.h>
#include <grp.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>

#include "base/text.h"
#include "platform/last_error.h"
#include "sim/scenarios.h"

namespace velmora {
namespace {

constexpr const char* kDeviceNode = "/dev/bus/usb/001/002";

// Every entry runs on umockdev's worker thread; the lock also covers the
// report the main thread writes once the program has ended.
class UsbfsCamera {
 public:
  UsbfsCamera(sim::SimulatedCameraConfig config, bool kernel_driver)
      : camera_(std::move(config), clock_), kernel_driver_(kernel_driver) {}

  gboolean handle(UMockdevIoctlClient* client) {
    const std::lock_guard lock(mutex_);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    switch (request) {
      case USBDEVFS_GET_CAPABILITIES: {
        const guint32 caps = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                             USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
        write_through(arg, &caps, sizeof caps);
        return complete(client, 0);
      }
      case USBDEVFS_GETDRIVER: {
        if (!kernel_driver_) return complete(client, ENODATA);
        usbdevfs_getdriver driver{0, "camera"};
        write_through(arg, &driver, sizeof driver);
        return complete(client, 0);
      }
      case USBDEVFS_CLAIMINTERFACE:
        if (kernel_driver_ || camera_.config().initialize_error == kErrorBusy) return complete(client, EBUSY);
        close_session();
        claimed_ = true;
        return complete(client, 0);
      case USBDEVFS_RELEASEINTERFACE:
        close_session();
        claimed_ = false;
        return complete(client, 0);
      case USBDEVFS_SUBMITURB: return submit(client, arg);
      case USBDEVFS_REAPURB:
      case USBDEVFS_REAPURBNDELAY: return reap(client, arg);
      case USBDEVFS_DISCARDURB: return discard(client, arg);
      default: problems_.push_back("unexpected ioctl " + std::to_string(request)); return complete(client, ENOTTY);
    }
  }

  void write_report(std::ostream& out) {
    const std::lock_guard lock(mutex_);
    close_session();
    if (claimed_) problems_.push_back("interface 0 still claimed when the program ended");
    for (const auto& write : camera_.host_writes()) out << "write " << hex_bytes(write) << "\n";
    for (const auto& v : camera_.violations()) out << "violation " << v << "\n";
    for (const auto& p : problems_) out << "problem " << p << "\n";
  }

  // The sysfs record libusb reads for the device.
  std::string device_record() const {
    std::vector<std::uint8_t> descriptors = camera_.device_descriptor();
    const std::vector<std::uint8_t> config = camera_.configuration_descriptor();
    descriptors.insert(descriptors.end(), config.begin(), config.end());
    std::string hex = hex_bytes(descriptors);
    std::erase(hex, ' ');
    const std::uint16_t ids[] = {camera_.config().vid, camera_.config().pid};
    return "P: /devices/usb1/1-1\nN: bus/usb/001/002\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
           "E: BUSNUM=001\nE: DEVNUM=002\nE: DEVNAME=/dev/bus/usb/001/002\nA: busnum=1\\n\nA: devnum=2\\n\n"
           "A: speed=12\\n\nA: bConfigurationValue=1\\n\nA: idVendor=" +
           hex_bytes(std::vector<std::uint8_t>{std::uint8_t(ids[0] >> 8), std::uint8_t(ids[0])}).erase(2, 1) +
           "\\n\nA: idProduct=" +
           hex_bytes(std::vector<std::uint8_t>{std::uint8_t(ids[1] >> 8), std::uint8_t(ids[1])}).erase(2, 1) +
           "\\n\nH: descriptors=" + hex + "\n";
  }

 private:
  static gboolean complete(UMockdevIoctlClient* client, int error) {
    umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
    return TRUE;
  }
  static void write_through(UMockdevIoctlData* arg, const void* value, std::size_t size) {
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, size, nullptr);
    std::memcpy(data->data, value, size);
    g_object_unref(data);
  }

  // Opened at the first request after a claim, as the in-process camera is
  // opened right before its first request, so its openings count alike.
  std::uint32_t open_session() {
    if (session_open_) return 0;
    file_ = camera_.create_file(camera_.config().device_path);
    if (file_ == invalid_os_handle()) return get_last_error();
    if (!camera_.initialize(file_, &interface_)) {
      const std::uint32_t code = get_last_error();
      camera_.close_handle(file_);
      return code;
    }
    session_open_ = true;
    return 0;
  }

  void close_session() {
    if (!session_open_) return;
    camera_.free(interface_);
    camera_.close_handle(file_);
    session_open_ = false;
  }

  // One URB through the simulated camera; false with the camera's error code.
  bool transfer(usbdevfs_urb& urb, std::uint8_t* buffer, std::uint32_t* moved) {
    const auto length = static_cast<std::uint32_t>(urb.buffer_length);
    if (urb.type == USBDEVFS_URB_TYPE_BULK) {
      return urb.endpoint & 0x80 ? camera_.read_pipe(interface_, urb.endpoint, buffer, length, moved)
                                 : camera_.write_pipe(interface_, urb.endpoint, buffer, length, moved);
    }
    // A control URB: the setup packet leads the buffer; only GET_DESCRIPTOR is answered.
    const std::uint16_t wanted = static_cast<std::uint16_t>(buffer[6] | (buffer[7] << 8));
    if (urb.type != USBDEVFS_URB_TYPE_CONTROL || buffer[0] != 0x80 || buffer[1] != 6 || length < 8u + wanted) {
      problems_.push_back("URB of type " + std::to_string(urb.type) + ": " + hex_bytes({buffer, 8}));
      return false;
    }
    return camera_.get_descriptor(interface_, buffer[3], buffer[2],
                                  static_cast<std::uint16_t>(buffer[4] | (buffer[5] << 8)), buffer + 8, wanted, moved);
  }

  gboolean submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    UMockdevIoctlData* urb = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    auto& fields = *reinterpret_cast<usbdevfs_urb*>(urb->data);
    UMockdevIoctlData* buffer =
        umockdev_ioctl_data_resolve(urb, offsetof(usbdevfs_urb, buffer), fields.buffer_length, nullptr);
    std::uint32_t code = open_session();
    std::uint32_t moved = 0;
    if (code == 0 && !transfer(fields, buffer != nullptr ? buffer->data : nullptr, &moved)) code = get_last_error();
    if (buffer != nullptr) g_object_unref(buffer);
    if (code == kErrorDeviceNotConnected || code == kErrorFileNotFound) {
      g_object_unref(urb);
      return complete(client, ENODEV);  // unplugged: the kernel refuses the URB
    }
    fields.status = code == 0 ? 0 : -EPIPE;
    fields.actual_length = code == 0 ? static_cast<int>(moved) : 0;
    (code == kErrorSemTimeout ? pending_ : completed_).push_back(urb);  // no answer yet: waits for a discard
    return complete(client, 0);
  }

  gboolean reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    if (completed_.empty()) return complete(client, session_open_ && camera_.unplugged() ? ENODEV : EAGAIN);
    UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
    umockdev_ioctl_data_set_ptr(slot, 0, completed_.front());
    g_object_unref(slot);
    g_object_unref(completed_.front());
    completed_.pop_front();
    return complete(client, 0);
  }

  gboolean discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    gulong address = 0;
    std::memcpy(&address, arg->data, sizeof address);
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if ((*it)->client_addr != address) continue;
      reinterpret_cast<usbdevfs_urb*>((*it)->data)->status = -ENOENT;
      completed_.push_back(*it);
      pending_.erase(it);
      return complete(client, 0);
    }
    return complete(client, EINVAL);
  }

  std::mutex mutex_;
  VirtualClock clock_;
  sim::SimulatedCamera camera_;
  bool kernel_driver_;
  bool claimed_ = false;
  bool session_open_ = false;
  OsHandle file_ = invalid_os_handle();
  WinUsbHandle interface_ = nullptr;
  std::deque<UMockdevIoctlData*> pending_, completed_;  // one reference held on each
  std::vector<std::string> problems_;
};

gboolean on_handle_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer camera) {
  return static_cast<UsbfsCamera*>(camera)->handle(client);
}

// Without permission the device node is closed to its owner, everything else
// is open to anyone (the preload creates its sockets there), and a root
// emulator runs the program as the user nobody.
int run_program(char** argv, const std::string& forbidden_root) {
  if (!forbidden_root.empty()) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(forbidden_root)) {
      if (!entry.is_symlink()) chmod(entry.path().c_str(), entry.is_directory() || entry.is_socket() ? 0777 : 0644);
    }
    chmod(forbidden_root.c_str(), 0777);
    chmod((forbidden_root + kDeviceNode).c_str(), 0);
  }
  const pid_t child = fork();
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (!forbidden_root.empty() && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
      _exit(127);
    }
    const char* existing = std::getenv("LD_PRELOAD");
    setenv("LD_PRELOAD", (std::string("libumockdev-preload.so.0 ") + (existing ? existing : "")).c_str(), 1);
    execvp(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int emulate(int argc, char** argv) {
  std::string scenario, report_path;
  bool kernel_driver = false, no_permission = false;
  int i = 1;
  for (; i < argc && std::string(argv[i]) != "--"; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--camera=")) scenario = arg.substr(9);
    if (arg.starts_with("--report=")) report_path = arg.substr(9);
    kernel_driver = kernel_driver || arg == "--kernel-driver";
    no_permission = no_permission || arg == "--no-permission";
  }
  std::optional<sim::SimulatedSetup> setup = scenario.empty()
                                                 ? sim::healthy_setup(sim::builtin_camera_image())
                                                 : sim::scenario_setup(scenario, sim::builtin_camera_image());
  if (i + 1 >= argc || !setup || report_path.empty()) {
    std::cerr << "usage: velmora_usbfs_emulator [--camera=SCENARIO] [--kernel-driver] [--no-permission]"
                 " --report=FILE -- PROGRAM ARGS...\n";
    return 2;
  }
  UsbfsCamera camera(std::move(setup->camera), kernel_driver);
  UMockdevTestbed* testbed = umockdev_testbed_new();
  UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(on_handle_ioctl), &camera);
  GError* error = nullptr;
  // The handler is in place before the device appears, so no open finds it unanswered.
  if (scenario != "disconnected" &&
      (!umockdev_testbed_attach_ioctl(testbed, kDeviceNode, handler, &error) ||
       !umockdev_testbed_add_from_string(testbed, camera.device_record().c_str(), &error))) {
    std::cerr << "velmora_usbfs_emulator: " << (error ? error->message : "umockdev failed") << "\n";
    return 2;
  }
  gchar* root = umockdev_testbed_get_root_dir(testbed);
  const int status = run_program(argv + i + 1, no_permission ? root : "");
  g_free(root);
  std::ofstream report(report_path);
  camera.write_report(report);
  g_object_unref(testbed);
  g_object_unref(handler);
  return status;
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) { return velmora::emulate(argc, argv); }
