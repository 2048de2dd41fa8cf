// The desktop application's entry: COM, GDI+, the common controls, the
// window classes, the main window and its message loop.
//   velmora.exe [--simulated-camera[=FOLDER|SCENARIO]]
#include <windows.h>
#include <objidl.h>
#include <commctrl.h>
#include <dbt.h>
#include <gdiplus.h>
#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>

#include "base/text.h"
#include "sim/camera_source.h"
#include "ui/main_window_win.h"
#include "ui/win32_shell_host_win.h"

namespace {

// "--simulated-camera" gives "", "--simulated-camera=X" gives X; absent otherwise.
std::optional<std::string> simulated_camera_option() {
  int count = 0;
  LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::optional<std::string> simulated;
  const std::u16string option = u"--simulated-camera";
  for (int i = 1; args != nullptr && i < count; ++i) {
    const std::u16string arg = reinterpret_cast<const char16_t*>(args[i]);
    if (arg == option)
      simulated = std::string();
    else if (arg.rfind(option + u"=", 0) == 0)
      simulated = velmora::utf16_to_utf8(arg.substr(option.size() + 1));
  }
  ::LocalFree(args);
  return simulated;
}

struct ProcessServices {
  ProcessServices() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&gdiplus_token, &input, nullptr) != Gdiplus::Ok) gdiplus_token = 0;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    background = ::CreateSolidBrush(RGB(223, 229, 236));
  }
  ~ProcessServices() {
    ::DeleteObject(background);
    if (gdiplus_token != 0) Gdiplus::GdiplusShutdown(gdiplus_token);
    ::CoUninitialize();
  }
  ULONG_PTR gdiplus_token = 0;
  HBRUSH background = nullptr;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  ProcessServices services;
  std::string problem;
  std::unique_ptr<velmora::CameraSource> source = velmora::make_camera_source(simulated_camera_option(), problem);
  velmora::Win32ShellHost shell;
  if (!source) {
    shell.message_box(velmora::utf8_to_utf16(problem), u"Velmora", velmora::MessageIcon::Error);
    return 1;
  }
  if (!velmora::register_window_classes(instance, services.background)) return 1;
  velmora::MainWindow window(source->env(), shell, services.gdiplus_token != 0);
  HWND hwnd = window.create(instance);
  if (hwnd == nullptr) return 2;
  shell.set_owner(hwnd);
  // A simulated plug or unplug reaches the window the way Windows announces one.
  source->watch_device_changes([hwnd] { ::PostMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0); });
  ::ShowWindow(hwnd, show);
  ::UpdateWindow(hwnd);
  return velmora::run_message_loop(window);
}
