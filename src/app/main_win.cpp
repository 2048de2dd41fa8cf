// The desktop application's entry. The main window arrives with the user
// interface; until then the program opens the camera path given on its
// command line through WinUSB and reports what it found.
#include <windows.h>

#include <string>

#include "base/text.h"
#include "link/transport.h"
#include "platform/usb_api.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  std::u16string path(reinterpret_cast<const char16_t*>(command_line));
  std::u16string text;
  if (path.empty()) {
    text = u"Velmora: give the camera's device interface path on the command line.";
  } else {
    try {
      velmora::CameraSession session = velmora::open_camera(velmora::winusb_api(), path);
      const velmora::CameraDescriptors d = velmora::query_descriptors(session);
      text = u"Camera opened: " + std::u16string(d.pid == velmora::kMr97310Cif ? u"093A:010E" : u"093A:010F");
    } catch (const std::exception& e) {
      text = u"ERROR: " + velmora::utf8_to_utf16(e.what());
    }
  }
  ::MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(text.c_str()), L"Velmora", MB_OK | MB_ICONINFORMATION);
  return 0;
}
