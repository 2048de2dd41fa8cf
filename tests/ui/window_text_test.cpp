#include <gtest/gtest.h>

#include "base/text.h"
#include "ui/window_text.h"

namespace velmora {
namespace {

// FNV-1a of the UTF-8 text: a short golden for a long exact text.
std::uint64_t fnv(const std::u16string& text) {
  std::uint64_t hash = 14695981039346656037u;
  for (const char ch : utf16_to_utf8(text)) hash = (hash ^ static_cast<std::uint8_t>(ch)) * 1099511628211u;
  return hash;
}

CameraInterfaceInfo interface_of(const char16_t* path, std::uint16_t product) {
  return {path, u"USB\\VID_093A&PID_010E\\1", u"Dual-Mode Digital Camera", u"WinUSB", 0x093A, product};
}

std::u16string status(CameraLinkState state, bool ready) {
  const StatusTexts texts = camera_status_texts(state, ready);
  return texts.title + u"|" + texts.detail + (texts.setup_button ? u"|setup" : u"");
}

TEST(WindowText, ExactTexts) {
  EXPECT_EQ(utf16_to_utf8(grouped_number(0) + u" " + grouped_number(999) + u" " + grouped_number(1000) + u" " +
                          grouped_number(1234567) + u" " + grouped_number(4294967295u)),
            "0 999 1,000 1,234,567 4,294,967,295");
  PhotoEntry still, other;
  still.type_code = 2;
  still.compressed = true;
  still.width = 352;
  still.height = 288;
  still.size_bytes = 101388;
  other.type_code = 1;
  other.size_bytes = 999;
  std::u16string cells = download_selected_label(3) + u"|" + download_all_label(10);
  for (int column = 0; column < 6; ++column) cells += u"|" + photo_cell_text(still, 2, column);
  for (int column = 0; column < 6; ++column) cells += u"|" + photo_cell_text(other, 9, column);
  ScanData held;
  held.camera_name = u"Dual-Mode Digital Camera";
  held.driver_service = u"WinUSB";
  held.entries.resize(7);
  // clang-format off
  held.descriptors = {u"\\\\?\\usb#x", 0x093A, 0x010E, 0x0110, 0x0100, 0, 0, 0, 1, 0, 255, 255, 255,
                      {{0x04, 2, 64, 0}, {0x83, 2, 64, 0}, {0x82, 3, 8, 10}, {0x01, 1, 1023, 1}, {0x00, 0, 8, 0}}};
  // clang-format on
  const CameraPresence no_driver{true, u"Dual-Mode Digital Camera", u"USB\\VID_093A&PID_010E\\5", u""};
  const CameraPresence presence{true, u"Camera", u"USB\\VID_093A&PID_010E\\5", u"WinUSB"};
  // The goldens hash the texts as first written out in full.
  const std::pair<std::u16string, std::uint64_t> texts[] = {
      {cells, 0x6688c2d486b92d03},
      {status(CameraLinkState::DetectedNoWinUsb, false), 0xbe35c6dc7a85e575},
      {status(CameraLinkState::Disconnected, false), 0x6e12190b664e51e9},
      {status(CameraLinkState::RelatedVariantOnly, false), 0x0f3673f3ca71a767},
      {status(CameraLinkState::Connected, true), 0x5e3219033590143a},
      {status(CameraLinkState::Connected, false), 0x75dd18c8cd8c9e97},
      {device_details_text({}, nullptr, {}), 0x3e7c1f309d7b779f},
      {device_details_text(no_driver, nullptr, {interface_of(u"\\\\?\\p", 0x010F)}), 0xd3e775abbc51a2f2},
      {device_details_text(presence, &held, {interface_of(u"ignored", 0x010E)}), 0x3d23f24def528f06},
      {help_info_content(), 0x1034bb2cee5eed61},
      {help_info_copy_text(), 0x9e63503939f3b9d6}};
  for (const auto& [text, hash] : texts) EXPECT_EQ(fnv(text), hash) << utf16_to_utf8(text);
}

TEST(WindowText, SnapshotIsCurrentWhileTheFirst010EInterfaceIsTheOneRead) {
  ScanData held;
  held.device_path = u"\\\\?\\usb#vid_093a&pid_010e#a";
  const auto same = {interface_of(u"\\\\?\\usb#vid_093a&pid_010f#b", 0x010F),
                     interface_of(u"\\\\?\\usb#vid_093a&pid_010e#a", 0x010E)};
  EXPECT_TRUE(snapshot_is_current(&held, same));
  EXPECT_FALSE(snapshot_is_current(&held, {interface_of(u"\\\\?\\usb#vid_093a&pid_010e#c", 0x010E), same.begin()[1]}));
  EXPECT_FALSE(snapshot_is_current(&held, {interface_of(u"\\\\?\\USB#VID_093A&PID_010E#A", 0x010E)})) << "exact";
  EXPECT_FALSE(snapshot_is_current(nullptr, same));
}

}  // namespace
}  // namespace velmora
