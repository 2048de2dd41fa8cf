#include <gtest/gtest.h>

#include "ui/recording_shell.h"
#include "ui/window_text.h"

namespace velmora {
namespace {

std::string u8(const std::u16string& text) { return utf16_to_utf8(text); }

TEST(WindowText, NumbersCellsAndLabels) {
  const std::pair<std::uint32_t, const char*> numbers[] = {{0, "0"},
                                                           {999, "999"},
                                                           {1000, "1,000"},
                                                           {101388, "101,388"},
                                                           {1234567, "1,234,567"},
                                                           {4294967295u, "4,294,967,295"}};
  for (const auto& [value, text] : numbers) EXPECT_EQ(u8(grouped_number(value)), text);
  PhotoEntry still, other;
  still.type_code = 2;
  still.compressed = true;
  still.width = 352;
  still.height = 288;
  still.size_bytes = 101388;
  other.type_code = 1;
  other.size_bytes = 999;
  std::string cells;
  for (int column = 0; column < 6; ++column) cells += u8(photo_cell_text(still, 2, column)) + "|";
  for (int column = 0; column < 6; ++column) cells += u8(photo_cell_text(other, 9, column)) + "|";
  EXPECT_EQ(
      cells,
      "3|High (HR)|Yes (CP)|352 \u00d7 288|101,388|Preview  \u203a|10|Other|No (nP)|0 \u00d7 0|999|Preview  \u203a|");
  EXPECT_EQ(u8(download_selected_label(3)) + u8(download_all_label(10)), "Download Selected (3)Download All (10)");
}

CameraInterfaceInfo interface_of(const char16_t* path, std::uint16_t product) {
  return {path, u"USB\\VID_093A&PID_010E\\1", u"Dual-Mode Digital Camera", u"WinUSB", 0x093A, product};
}

TEST(WindowText, StatusFollowsTheLinkState) {
  const std::u16string connected = u"MR97310 family | USB 093A:010E | WinUSB";
  const std::tuple<CameraLinkState, bool, StatusTexts> cases[] = {
      {CameraLinkState::DetectedNoWinUsb,
       false,
       {u"Camera detected \u2014 WinUSB not configured",
        u"Windows sees the camera, but Velmora cannot communicate until its WinUSB driver is selected.", true}},
      {CameraLinkState::Disconnected,
       false,
       {u"Camera disconnected", u"Connect a compatible camera by USB, then refresh the photo list.", false}},
      {CameraLinkState::RelatedVariantOnly,
       false,
       {u"Related MR97310 variant found (010F)",
        u"This version only makes active camera requests to the tested 093A:010E model.", false}},
      {CameraLinkState::Connected, true, {u"Camera connected \u2014 ready", connected, false}},
      {CameraLinkState::Connected, false, {u"Camera connected \u2014 photo list not loaded", connected, false}}};
  for (const auto& [state, ready, texts] : cases)
    EXPECT_EQ(camera_status_texts(state, ready), texts) << u8(texts.title);

  ScanData held;
  held.device_path = u"\\\\?\\usb#vid_093a&pid_010e#a";
  const auto same = {interface_of(u"\\\\?\\usb#vid_093a&pid_010f#b", 0x010F),
                     interface_of(held.device_path.c_str(), 0x010E)};
  const auto replugged = {interface_of(u"\\\\?\\usb#vid_093a&pid_010e#c", 0x010E),
                          interface_of(held.device_path.c_str(), 0x010E)};
  EXPECT_TRUE(snapshot_is_current(&held, same)) << "the first 010E interface decides";
  EXPECT_FALSE(snapshot_is_current(&held, replugged));
  EXPECT_FALSE(snapshot_is_current(&held, {interface_of(u"\\\\?\\USB#VID_093A&PID_010E#A", 0x010E)})) << "exact";
  EXPECT_FALSE(snapshot_is_current(nullptr, same));
}

TEST(WindowText, DeviceDetails) {
  const std::string not_loaded =
      "Photo list/USB descriptors have not been loaded yet.\n"
      "Click Refresh Photo List to obtain the verified descriptor and endpoint details.\n"
      "No extra camera communication is initiated by this dialog.\n";
  EXPECT_EQ(
      u8(device_details_text({}, nullptr, {})),
      "Velmora device inspection (read-only)\n\nWindows PnP presence: not detected at last check\n\n" + not_loaded);
  const CameraPresence no_driver{true, u"Dual-Mode Digital Camera", u"USB\\VID_093A&PID_010E\\5", u""};
  EXPECT_EQ(u8(device_details_text(no_driver, nullptr, {interface_of(u"\\\\?\\p", 0x010F)})),
            "Velmora device inspection (read-only)\n\n"
            "Windows device: Dual-Mode Digital Camera\nPnP device instance: USB\\VID_093A&PID_010E\\5\n"
            "PnP driver service: (not configured)\n\n" +
                not_loaded +
                "\nKnown WinUSB interface: Dual-Mode Digital Camera\nUSB VID:PID: 093A:010F\nDriver service: WinUSB\n"
                "Device interface path: \\\\?\\p\n");

  ScanData held;
  held.camera_name = u"Dual-Mode Digital Camera";
  held.driver_service = u"WinUSB";
  held.entries.resize(7);
  held.descriptors = {u"\\\\?\\usb#x",
                      0x093A,
                      0x010E,
                      0x0110,
                      0x0100,
                      0,
                      0,
                      0,
                      1,
                      0,
                      255,
                      255,
                      255,
                      {{0x04, 2, 64, 0}, {0x83, 2, 64, 0}, {0x82, 3, 8, 10}, {0x01, 1, 1023, 1}, {0x00, 0, 8, 0}}};
  const CameraPresence presence{true, u"Camera", u"USB\\VID_093A&PID_010E\\5", u"WinUSB"};
  EXPECT_EQ(u8(device_details_text(presence, &held, {interface_of(u"ignored", 0x010E)})),
            "Velmora device inspection (read-only)\n\n"
            "Windows device: Camera\nPnP device instance: USB\\VID_093A&PID_010E\\5\nPnP driver service: WinUSB\n\n"
            "Camera name: Dual-Mode Digital Camera\nDriver service: WinUSB\nUSB VID:PID: 093A:010E\n"
            "USB version (BCD): 0x0110\nDevice revision (BCD): 0x0100\n"
            "Device class / subclass / protocol: 0 / 0 / 0\nNumber of configurations: 1\nInterface number: 0\n"
            "Interface class / subclass / protocol: 255 / 255 / 255\nVerified stored photo entries: 7\n"
            "Device interface path: \\\\?\\usb#x\n\nUSB endpoints (no additional reads):\n"
            "  0x04 OUT bulk  max packet=64  interval=0\n  0x83 IN  bulk  max packet=64  interval=0\n"
            "  0x82 IN  interrupt  max packet=8  interval=10\n  0x01 OUT isochronous  max packet=1023  interval=1\n"
            "  0x00 OUT control  max packet=8  interval=0\n");
}

TEST(HelpInfo, TextsLinksAndCopy) {
  EXPECT_EQ(u8(help_info_content()),
            "Version 0.7.4\nReleased 2026-12-06\n"
            "By <a href=\"https://example.org/velmora/contributors\">The Velmora developers</a>\n\n"
            "Visit the <a href=\"https://example.org/velmora/\">program page</a> for news and help, or write to "
            "velmora@example.org.\n\nIf Velmora recovered your photos, you can say thanks on the "
            "<a href=\"https://example.org/velmora/support\">support page</a>.");
  EXPECT_EQ(u8(help_info_copy_text()),
            "Velmora\r\nVersion 0.7.4\r\nReleased 2026-12-06\r\n"
            "By The Velmora developers (https://example.org/velmora/contributors)\r\n\r\n"
            "Visit the program page (https://example.org/velmora/) for news and help, or write to "
            "velmora@example.org.\r\n\r\nIf Velmora recovered your photos, you can say thanks on the support page "
            "(https://example.org/velmora/support).");

  test::RecordingShell shell;
  for (const char16_t* target : {u"https://example.org/velmora/", u"https://example.org/velmora/contributors",
                                 u"https://example.org/velmora/support", u"https://example.org/velmora",
                                 u"HTTPS://example.org/velmora/", u"file:///C:/Windows/system32/calc.exe", u""}) {
    info_dialog_link(shell, target);
  }
  EXPECT_EQ(shell.opened,
            (std::vector<std::string>{"https://example.org/velmora/", "https://example.org/velmora/contributors",
                                      "https://example.org/velmora/support"}));
  const InfoDialog dialog{u"t", u"i", u"content", u"copy me", false};
  EXPECT_TRUE(info_dialog_button(shell, dialog, kCopyButtonId)) << "Copy keeps the dialog open, even when it failed";
  EXPECT_FALSE(info_dialog_button(shell, dialog, 1)) << "OK closes";
  EXPECT_EQ(shell.copied, std::vector<std::string>{"copy me"});
}

}  // namespace
}  // namespace velmora
