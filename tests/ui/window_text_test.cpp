#include <gtest/gtest.h>

#include "base/text.h"
#include "support/digest.h"
#include "ui/control_table.h"
#include "ui/window_text.h"

namespace velmora {
namespace {

CameraInterfaceInfo interface_of(const char16_t* path, std::uint16_t product) {
  return {path, u"USB\\VID_093A&PID_010E\\1", u"Dual-Mode Digital Camera", u"WinUSB", 0x093A, product};
}

// The option boxes' labels are read in the order of the download flags they set.
TEST(WindowText, ExactTexts) {
  std::u16string all;
  for (const std::uint32_t n : {0u, 999u, 1000u, 1234567u, 4294967295u}) all += grouped_number(n) + u" ";
  for (const int id : kOptionBoxIds) {
    for (const ControlDef& def : kControls) all += def.id == id ? def.text + std::u16string(u"|") : u"";
  }
  const PhotoEntry still{.type_code = 2, .compressed = true, .size_bytes = 101388, .width = 352, .height = 288};
  const PhotoEntry other{.type_code = 1, .size_bytes = 999};
  all += download_selected_label(3) + u"|" + download_all_label(10);
  for (int column = 0; column < 6; ++column) all += u"|" + photo_cell_text(still, 2, column);
  for (int column = 0; column < 6; ++column) all += u"|" + photo_cell_text(other, 9, column);
  for (const auto state : {CameraLinkState::DetectedNoWinUsb, CameraLinkState::Disconnected,
                           CameraLinkState::RelatedVariantOnly, CameraLinkState::Connected}) {
    for (const bool ready : {false, true}) {
      const StatusTexts texts = camera_status_texts(state, ready);
      all += u"|" + texts.title + u"|" + texts.detail + (texts.setup_button ? u"|setup" : u"");
    }
  }
  const CameraDescriptors usb{u"\\\\?\\usb#x", 0x093A, 0x010E, 0x0110, 0x0100, 0, 0, 0, 1, 0, 255, 255, 255, {}};
  ScanData held{u"", u"Dual-Mode Digital Camera", u"WinUSB", usb, std::vector<PhotoEntry>(7), {}};
  held.descriptors.endpoints = {{0x04, 2, 64, 0}, {0x83, 2, 64, 0}, {0x82, 3, 8, 10}, {0x01, 1, 1023, 1}, {0, 0, 8, 0}};
  const CameraPresence no_driver{true, u"Dual-Mode Digital Camera", u"USB\\VID_093A&PID_010E\\5", u""};
  const CameraPresence presence{true, u"Camera", u"USB\\VID_093A&PID_010E\\5", u"WinUSB"};
  all += device_details_text({}, nullptr, {}) +
         device_details_text(no_driver, nullptr, {interface_of(u"\\p", 0x010F)}) +
         device_details_text(presence, &held, {interface_of(u"ignored", 0x010E)}) + help_info_content() +
         help_info_copy_text();
  EXPECT_EQ(test::digest(utf16_to_utf8(all)), 0x7afc27d3368aa10cu) << utf16_to_utf8(all);

  // "ready" while the first 010E interface listed is the one read, exactly.
  held.device_path = u"\\\\?\\usb#vid_093a&pid_010e#a";
  const CameraInterfaceInfo read = interface_of(held.device_path.c_str(), 0x010E);
  EXPECT_TRUE(snapshot_is_current(&held, {interface_of(u"\\\\?\\usb#vid_093a&pid_010f#b", 0x010F), read}));
  EXPECT_FALSE(snapshot_is_current(&held, {interface_of(u"\\\\?\\usb#vid_093a&pid_010e#c", 0x010E), read}));
  EXPECT_FALSE(snapshot_is_current(&held, {interface_of(u"\\\\?\\USB#VID_093A&PID_010E#A", 0x010E)}));
  EXPECT_FALSE(snapshot_is_current(nullptr, {read}));
}

}  // namespace
}  // namespace velmora
