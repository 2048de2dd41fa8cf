#include "ui/win32_shell_host_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <cstring>

namespace velmora {
namespace {

template <class T>
struct ComRelease {
  T* p = nullptr;
  ~ComRelease() {
    if (p) p->Release();
  }
};

}  // namespace

void Win32ShellHost::message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) {
  const UINT icon_flag = icon == MessageIcon::Information ? MB_ICONINFORMATION
                         : icon == MessageIcon::Warning   ? MB_ICONWARNING
                                                          : MB_ICONERROR;
  ::MessageBoxW(owner_, wide(text), wide(caption), MB_OK | icon_flag);
}

HRESULT CALLBACK Win32ShellHost::info_dialog_callback(HWND dialog, UINT notification, WPARAM wparam, LPARAM lparam,
                                                      LONG_PTR reference) {
  auto* host = reinterpret_cast<Win32ShellHost*>(reference);
  host->dialog_ = dialog;
  if (notification == TDN_BUTTON_CLICKED) {
    return info_dialog_button(*host, *host->open_dialog_, static_cast<int>(wparam)) ? S_FALSE : S_OK;
  }
  if (notification == TDN_HYPERLINK_CLICKED) {
    info_dialog_link(*host, reinterpret_cast<const char16_t*>(lparam));
  }
  return S_OK;
}

bool Win32ShellHost::show_info_dialog(const InfoDialog& dialog) {
  const InfoDialog copy = dialog;  // kept for the Copy button while the dialog is open
  TASKDIALOG_BUTTON copy_button{kCopyButtonId, L"Copy"};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner_;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | (copy.hyperlinks ? TDF_ENABLE_HYPERLINKS : 0);
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  config.pszWindowTitle = wide(copy.title);
  config.pszMainInstruction = wide(copy.instruction);
  config.pszContent = wide(copy.content);
  config.cButtons = 1;
  config.pButtons = &copy_button;
  config.nDefaultButton = IDOK;
  config.pfCallback = info_dialog_callback;
  config.lpCallbackData = reinterpret_cast<LONG_PTR>(this);
  config.cxWidth = copy.hyperlinks ? 360 : 490;
  open_dialog_ = &copy;
  const HRESULT shown = ::TaskDialogIndirect(&config, nullptr, nullptr, nullptr);
  open_dialog_ = nullptr;
  dialog_ = nullptr;
  return SUCCEEDED(shown);
}

std::optional<std::u16string> Win32ShellHost::choose_folder(const std::u16string& title) {
  ComRelease<IFileOpenDialog> dialog;
  if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog.p)))) {
    return std::nullopt;
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog.p->GetOptions(&options);
  dialog.p->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
  dialog.p->SetTitle(wide(title));
  if (FAILED(dialog.p->Show(owner_))) return std::nullopt;
  ComRelease<IShellItem> item;
  if (FAILED(dialog.p->GetResult(&item.p)) || item.p == nullptr) return std::nullopt;
  PWSTR path = nullptr;
  if (FAILED(item.p->GetDisplayName(SIGDN_FILESYSPATH, &path))) return std::nullopt;
  std::u16string folder = reinterpret_cast<const char16_t*>(path);
  ::CoTaskMemFree(path);
  return folder;
}

void Win32ShellHost::shell_open(const std::u16string& target) {
  ::ShellExecuteW(owner_for_dialog(), L"open", wide(target), nullptr, nullptr, SW_SHOWNORMAL);
}

bool Win32ShellHost::copy_text(const std::u16string& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (block == nullptr) return false;
  void* memory = ::GlobalLock(block);
  if (memory == nullptr) {
    ::GlobalFree(block);
    return false;
  }
  std::memcpy(memory, text.c_str(), bytes);
  ::GlobalUnlock(block);
  if (!::OpenClipboard(owner_for_dialog())) {
    ::GlobalFree(block);
    return false;
  }
  ::EmptyClipboard();
  const bool handed_over = ::SetClipboardData(CF_UNICODETEXT, block) != nullptr;
  if (!handed_over) ::GlobalFree(block);
  ::CloseClipboard();
  return handed_over;
}

bool Win32ShellHost::block_shutdown(const std::u16string& reason) {
  return ::ShutdownBlockReasonCreate(owner_, wide(reason)) != FALSE;
}

void Win32ShellHost::allow_shutdown() { ::ShutdownBlockReasonDestroy(owner_); }

}  // namespace velmora
