// velmora_usbfs_emulator [--camera=FOLDER|SCENARIO] [--kernel-driver] [--no-permission] [--report=FILE]
//                        -- PROGRAM ARGS...
//
// Runs PROGRAM (the unchanged velmora binary) under the umockdev preload
// against one emulated USB device, /dev/bus/usb/001/002, whose usbfs ioctls
// are answered by the simulated camera: descriptor requests, claims, and bulk
// URBs submitted, reaped and discarded. An IN URB the camera has no answer
// for stays pending until the host discards it, so time-outs run on libusb's
// own clock as on hardware. Exits with PROGRAM's status; the report lists
// every command the device received and every request outside what the
// camera allows. With --no-permission the device node may not be opened by
// PROGRAM: it is made inaccessible to its owner, and a root emulator runs
// PROGRAM as the user nobody, so the kernel itself refuses the open.
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
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "sim/scenarios.h"

namespace velmora {
namespace {

constexpr const char* kDeviceNode = "/dev/bus/usb/001/002";
constexpr std::uint8_t kGetDescriptor = 6;

std::string hex_text(const std::uint8_t* bytes, std::size_t n) {
  std::string text;
  char pair[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(pair, sizeof pair, i == 0 ? "%02x" : " %02x", bytes[i]);
    text += pair;
  }
  return text;
}

struct Urb {
  UMockdevIoctlData* urb = nullptr;  // one reference held
  usbdevfs_urb* fields() const { return reinterpret_cast<usbdevfs_urb*>(urb->data); }
};

// The device: usbfs requests in, simulated camera calls out. Every entry runs
// on umockdev's worker thread; the lock also covers the report the main
// thread reads once the program has ended.
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
        UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
        const guint32 value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                              USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
        std::memcpy(caps->data, &value, sizeof value);
        g_object_unref(caps);
        return complete(client, 0, 0);
      }
      case USBDEVFS_GETDRIVER: {
        if (!kernel_driver_) return complete(client, -1, ENODATA);
        UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
        std::snprintf(reinterpret_cast<usbdevfs_getdriver*>(d->data)->driver, USBDEVFS_MAXDRIVERNAME, "camera");
        g_object_unref(d);
        return complete(client, 0, 0);
      }
      case USBDEVFS_CLAIMINTERFACE:
        if (kernel_driver_ || camera_.config().initialize_error == kErrorBusy) return complete(client, -1, EBUSY);
        close_session();
        claimed_ = true;
        return complete(client, 0, 0);
      case USBDEVFS_RELEASEINTERFACE:
        close_session();
        claimed_ = false;
        return complete(client, 0, 0);
      case USBDEVFS_SUBMITURB: return submit(client, arg);
      case USBDEVFS_REAPURB:
      case USBDEVFS_REAPURBNDELAY: return reap(client, arg);
      case USBDEVFS_DISCARDURB: return discard(client, arg);
      default:
        problems_.push_back("unexpected ioctl " + std::to_string(request));
        return complete(client, -1, ENOTTY);
    }
  }

  // Called when the program has ended.
  void write_report(std::ostream& out) {
    const std::lock_guard lock(mutex_);
    close_session();
    if (claimed_) problems_.push_back("interface 0 still claimed when the program ended");
    for (const auto& write : camera_.host_writes()) out << "write " << hex_text(write.data(), write.size()) << "\n";
    for (const auto& v : camera_.violations()) out << "violation " << v << "\n";
    for (const auto& p : problems_) out << "problem " << p << "\n";
  }

  std::vector<std::uint8_t> sysfs_descriptors() const {
    std::vector<std::uint8_t> bytes = camera_.device_descriptor();
    const std::vector<std::uint8_t> config = camera_.configuration_descriptor();
    bytes.insert(bytes.end(), config.begin(), config.end());
    return bytes;
  }
  std::uint16_t vendor_id() const { return camera_.config().vid; }
  std::uint16_t product_id() const { return camera_.config().pid; }

 private:
  static gboolean complete(UMockdevIoctlClient* client, long result, int error) {
    umockdev_ioctl_client_complete(client, result, error);
    return TRUE;
  }

  // The camera is opened at the first request after a claim, as the
  // in-process camera is opened right before its first request, so its
  // openings count alike; a claim that sends nothing opens nothing.
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
    if (urb.type == USBDEVFS_URB_TYPE_CONTROL) {
      // The setup packet leads the buffer; only GET_DESCRIPTOR is answered.
      const std::uint8_t* setup = buffer;
      const std::uint16_t value = static_cast<std::uint16_t>(setup[2] | (setup[3] << 8));
      const std::uint16_t index = static_cast<std::uint16_t>(setup[4] | (setup[5] << 8));
      const std::uint16_t length = static_cast<std::uint16_t>(setup[6] | (setup[7] << 8));
      if (setup[0] != 0x80 || setup[1] != kGetDescriptor || urb.buffer_length < 8 + length) {
        problems_.push_back("control request " + hex_text(setup, 8));
        return false;
      }
      return camera_.get_descriptor(interface_, static_cast<std::uint8_t>(value >> 8),
                                    static_cast<std::uint8_t>(value), index, buffer + 8, length, moved);
    }
    if (urb.type != USBDEVFS_URB_TYPE_BULK) {
      problems_.push_back("URB of type " + std::to_string(urb.type));
      return false;
    }
    const auto length = static_cast<std::uint32_t>(urb.buffer_length);
    if (urb.endpoint & 0x80) return camera_.read_pipe(interface_, urb.endpoint, buffer, length, moved);
    return camera_.write_pipe(interface_, urb.endpoint, buffer, length, moved);
  }

  gboolean submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    Urb urb{umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr)};
    usbdevfs_urb& fields = *urb.fields();
    UMockdevIoctlData* buffer =
        umockdev_ioctl_data_resolve(urb.urb, offsetof(usbdevfs_urb, buffer), fields.buffer_length, nullptr);
    std::uint32_t code = open_session();
    std::uint32_t moved = 0;
    if (code == 0 && !transfer(fields, buffer != nullptr ? buffer->data : nullptr, &moved)) code = get_last_error();
    if (buffer != nullptr) g_object_unref(buffer);
    if (code == kErrorDeviceNotConnected || code == kErrorFileNotFound) {
      g_object_unref(urb.urb);
      return complete(client, -1, ENODEV);  // unplugged: the kernel refuses the URB
    }
    if (code == kErrorSemTimeout) {
      pending_.push_back(urb);  // no answer yet: the URB waits for the host to give up
      return complete(client, 0, 0);
    }
    fields.status = code == 0 ? 0 : -EPIPE;
    fields.actual_length = code == 0 ? static_cast<int>(moved) : 0;
    completed_.push_back(urb);
    return complete(client, 0, 0);
  }

  gboolean reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    if (completed_.empty()) return complete(client, -1, session_open_ && camera_.unplugged() ? ENODEV : EAGAIN);
    Urb urb = completed_.front();
    completed_.pop_front();
    UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
    umockdev_ioctl_data_set_ptr(slot, 0, urb.urb);
    g_object_unref(slot);
    g_object_unref(urb.urb);
    return complete(client, 0, 0);
  }

  gboolean discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    gulong address = 0;
    std::memcpy(&address, arg->data, sizeof address);
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if (it->urb->client_addr != address) continue;
      it->fields()->status = -ENOENT;
      it->fields()->actual_length = 0;
      completed_.push_back(*it);
      pending_.erase(it);
      return complete(client, 0, 0);
    }
    return complete(client, -1, EINVAL);
  }

  std::mutex mutex_;
  VirtualClock clock_;
  sim::SimulatedCamera camera_;
  bool kernel_driver_;
  bool claimed_ = false;
  bool session_open_ = false;
  OsHandle file_ = invalid_os_handle();
  WinUsbHandle interface_ = nullptr;
  std::vector<Urb> pending_;
  std::deque<Urb> completed_;
  std::vector<std::string> problems_;
};

gboolean on_handle_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer camera) {
  return static_cast<UsbfsCamera*>(camera)->handle(client);
}

// The sysfs entry libusb reads for a device, and its uevent.
std::string device_record(const UsbfsCamera& camera) {
  char ids[64];
  std::snprintf(ids, sizeof ids, "A: idVendor=%04x\\n\nA: idProduct=%04x\\n\n", unsigned{camera.vendor_id()},
                unsigned{camera.product_id()});
  const std::vector<std::uint8_t> descriptors = camera.sysfs_descriptors();
  std::string hex;
  char pair[3];
  for (std::uint8_t b : descriptors) {
    std::snprintf(pair, sizeof pair, "%02x", b);
    hex += pair;
  }
  return std::string("P: /devices/usb1/1-1\n"
                     "N: bus/usb/001/002\n"
                     "E: SUBSYSTEM=usb\n"
                     "E: DEVTYPE=usb_device\n"
                     "E: DRIVER=usb\n"
                     "E: BUSNUM=001\n"
                     "E: DEVNUM=002\n"
                     "E: DEVNAME=/dev/bus/usb/001/002\n"
                     "A: busnum=1\\n\n"
                     "A: devnum=2\\n\n"
                     "A: speed=12\\n\n"
                     "A: bConfigurationValue=1\\n\n") +
         ids + "H: descriptors=" + hex + "\n";
}

// Everything open to anyone (the preload creates its sockets there), except
// the device node.
void forbid_device_node(const std::string& root) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_symlink()) continue;
    chmod(entry.path().c_str(), entry.is_directory() || entry.is_socket() ? 0777 : 0644);
  }
  chmod(root.c_str(), 0777);
  chmod((root + kDeviceNode).c_str(), 0);
}

int run_program(char** argv, bool unprivileged) {
  const pid_t child = fork();
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (unprivileged && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
      std::perror("dropping to nobody");
      _exit(127);
    }
    const char* existing = std::getenv("LD_PRELOAD");
    const std::string preload = std::string("libumockdev-preload.so.0") + (existing ? std::string(" ") + existing : "");
    setenv("LD_PRELOAD", preload.c_str(), 1);
    execvp(argv[0], argv);
    std::perror(argv[0]);
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int usage() {
  std::cerr << "usage: velmora_usbfs_emulator [--camera=FOLDER|SCENARIO] [--kernel-driver] [--no-permission]"
               " [--report=FILE] -- PROGRAM ARGS...\n";
  return 2;
}

int emulate(int argc, char** argv) {
  std::string camera_choice;
  std::string report_path;
  bool kernel_driver = false;
  bool no_permission = false;
  int i = 1;
  for (; i < argc && std::string(argv[i]) != "--"; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--camera=", 0) == 0) {
      camera_choice = arg.substr(9);
    } else if (arg.rfind("--report=", 0) == 0) {
      report_path = arg.substr(9);
    } else if (arg == "--kernel-driver") {
      kernel_driver = true;
    } else if (arg == "--no-permission") {
      no_permission = true;
    } else {
      return usage();
    }
  }
  if (i + 1 >= argc) return usage();

  std::optional<sim::SimulatedSetup> setup;
  if (camera_choice.empty()) {
    setup = sim::healthy_setup(sim::builtin_camera_image());
  } else if (std::filesystem::is_directory(camera_choice)) {
    setup = sim::healthy_setup(sim::load_camera_image(camera_choice));
  } else {
    setup = sim::scenario_setup(camera_choice, sim::builtin_camera_image());
  }
  // A camera without a driver is --no-permission here.
  if (!setup || camera_choice == "no-winusb") {
    std::cerr << "velmora_usbfs_emulator: cannot emulate " << camera_choice << "\n";
    return 2;
  }
  const bool attached = camera_choice != "disconnected";

  UsbfsCamera camera(std::move(setup->camera), kernel_driver);
  UMockdevTestbed* testbed = umockdev_testbed_new();
  UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(on_handle_ioctl), &camera);
  if (attached) {
    GError* error = nullptr;
    // The handler is in place before the device appears, so no open finds it unanswered.
    if (!umockdev_testbed_attach_ioctl(testbed, kDeviceNode, handler, &error) ||
        !umockdev_testbed_add_from_string(testbed, device_record(camera).c_str(), &error)) {
      std::cerr << "velmora_usbfs_emulator: " << (error ? error->message : "umockdev failed") << "\n";
      return 2;
    }
  }
  if (no_permission) {
    gchar* root = umockdev_testbed_get_root_dir(testbed);
    forbid_device_node(root);
    g_free(root);
  }
  const int status = run_program(argv + i + 1, no_permission);
  if (!report_path.empty()) {
    std::ofstream report(report_path);
    camera.write_report(report);
  }
  g_object_unref(testbed);
  g_object_unref(handler);
  return status;
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) { return velmora::emulate(argc, argv); }
