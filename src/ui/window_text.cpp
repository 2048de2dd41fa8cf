#include "ui/window_text.h"

#include "base/text.h"
#include "base/version.h"

namespace velmora {
namespace {

std::u16string decimal(std::uint64_t value) { return utf8_to_utf16(std::to_string(value)); }

std::u16string hex4(unsigned value) { return utf8_to_utf16(hex_number(value, 4, true)); }

std::u16string hex2(unsigned value) { return utf8_to_utf16(hex_number(value, 2, true)); }

std::u16string pipe_type_name(std::uint32_t type) {
  switch (type) {
    case 1: return u"isochronous";
    case 2: return u"bulk";
    case 3: return u"interrupt";
    default: return u"control";
  }
}

struct HelpLink {
  const char16_t* words;
  const char16_t* target;
};
constexpr HelpLink kCreditLink{u"The Velmora developers", u"https://example.org/velmora/contributors"};
constexpr HelpLink kProgramLink{u"program page", u"https://example.org/velmora/"};
constexpr HelpLink kSupportLink{u"support page", u"https://example.org/velmora/support"};
constexpr const char16_t* kContactAddress = u"velmora@example.org";

std::u16string markup(const HelpLink& link) {
  return u"<a href=\"" + std::u16string(link.target) + u"\">" + link.words + u"</a>";
}
std::u16string plain(const HelpLink& link) { return std::u16string(link.words) + u" (" + link.target + u")"; }

// The Help / Info lines after the title, each link written by `link`.
template <class LinkFn>
std::vector<std::u16string> help_lines(LinkFn link) {
  return {u"Version " + std::u16string(kVersion),
          u"Released " + std::u16string(kReleaseDate),
          u"By " + link(kCreditLink),
          u"",
          u"Visit the " + link(kProgramLink) + u" for news and help, or write to " + kContactAddress + u".",
          u"",
          u"If Velmora recovered your photos, you can say thanks on the " + link(kSupportLink) + u"."};
}

std::u16string joined(const std::vector<std::u16string>& lines, const std::u16string& separator) {
  std::u16string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? separator : u"") + lines[i];
  return text;
}

}  // namespace

std::u16string grouped_number(std::uint32_t value) {
  std::u16string digits = decimal(value);
  for (std::ptrdiff_t at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, u",");
  return digits;
}

std::u16string photo_cell_text(const PhotoEntry& entry, std::size_t position, int column) {
  switch (column) {
    case 0: return decimal(position + 1);
    case 1: return utf8_to_utf16(resolution_label(entry));
    case 2: return utf8_to_utf16(compression_label(entry));
    case 3: return decimal(entry.width) + u" \u00d7 " + decimal(entry.height);
    case 4: return grouped_number(entry.size_bytes);
    case 5: return u"Preview  \u203a";
    default: return u"";
  }
}

std::u16string download_selected_label(std::size_t checked) { return u"Download Selected (" + decimal(checked) + u")"; }
std::u16string download_all_label(std::size_t rows) { return u"Download All (" + decimal(rows) + u")"; }

bool snapshot_is_current(const ScanData* held, const std::vector<CameraInterfaceInfo>& interfaces) {
  if (held == nullptr) return false;
  for (const CameraInterfaceInfo& info : interfaces) {
    if (info.product_id == kCameraProductId) return info.device_path == held->device_path;
  }
  return false;
}

StatusTexts camera_status_texts(CameraLinkState state, bool ready) {
  constexpr const char16_t* kConnectedDetail = u"MR97310 family | USB 093A:010E | WinUSB";
  switch (state) {
    case CameraLinkState::DetectedNoWinUsb:
      return {u"Camera detected \u2014 WinUSB not configured",
              u"Windows sees the camera, but Velmora cannot communicate until its WinUSB driver is selected.", true};
    case CameraLinkState::Disconnected:
      return {u"Camera disconnected", u"Connect a compatible camera by USB, then refresh the photo list.", false};
    case CameraLinkState::RelatedVariantOnly:
      return {u"Related MR97310 variant found (010F)",
              u"This version only makes active camera requests to the tested 093A:010E model.", false};
    case CameraLinkState::Connected: break;
  }
  return {ready ? u"Camera connected \u2014 ready" : u"Camera connected \u2014 photo list not loaded", kConnectedDetail,
          false};
}

namespace {

std::u16string presence_details(const CameraPresence& presence) {
  if (!presence.present) return u"Windows PnP presence: not detected at last check\n\n";
  return u"Windows device: " + presence.display_name + u"\nPnP device instance: " + presence.instance_id +
         u"\nPnP driver service: " + (presence.driver_service.empty() ? u"(not configured)" : presence.driver_service) +
         u"\n\n";
}

std::u16string snapshot_details(const ScanData& held) {
  const CameraDescriptors& descriptors = held.descriptors;
  std::u16string text = u"Camera name: " + held.camera_name + u"\nDriver service: " + held.driver_service;
  text += u"\nUSB VID:PID: " + hex4(descriptors.vid) + u":" + hex4(descriptors.pid);
  text += u"\nUSB version (BCD): 0x" + hex4(descriptors.bcd_usb);
  text += u"\nDevice revision (BCD): 0x" + hex4(descriptors.bcd_device);
  text += u"\nDevice class / subclass / protocol: " + decimal(descriptors.device_class) + u" / " +
          decimal(descriptors.device_subclass) + u" / " + decimal(descriptors.device_protocol);
  text += u"\nNumber of configurations: " + decimal(descriptors.num_configurations);
  text += u"\nInterface number: " + decimal(descriptors.interface_number);
  text += u"\nInterface class / subclass / protocol: " + decimal(descriptors.interface_class) + u" / " +
          decimal(descriptors.interface_subclass) + u" / " + decimal(descriptors.interface_protocol);
  text += u"\nVerified stored photo entries: " + decimal(held.entries.size());
  text += u"\nDevice interface path: " + descriptors.opened_path;
  text += u"\n\nUSB endpoints (no additional reads):\n";
  for (const EndpointInfo& e : descriptors.endpoints) {
    text += u"  0x" + hex2(e.address) + ((e.address & 0x80) ? u" IN  " : u" OUT ") + pipe_type_name(e.pipe_type) +
            u"  max packet=" + decimal(e.max_packet_size) + u"  interval=" + decimal(e.interval) + u"\n";
  }
  return text;
}

std::u16string interface_details(const std::vector<CameraInterfaceInfo>& interfaces) {
  std::u16string text =
      u"Photo list/USB descriptors have not been loaded yet.\n"
      u"Click Refresh Photo List to obtain the verified descriptor and endpoint details.\n"
      u"No extra camera communication is initiated by this dialog.\n";
  for (const CameraInterfaceInfo& info : interfaces) {
    text += u"\nKnown WinUSB interface: " + info.description + u"\nUSB VID:PID: " + hex4(info.vendor_id) + u":" +
            hex4(info.product_id) + u"\nDriver service: " + info.driver_service + u"\nDevice interface path: " +
            info.device_path + u"\n";
  }
  return text;
}

}  // namespace

std::u16string device_details_text(const CameraPresence& presence, const ScanData* held,
                                   const std::vector<CameraInterfaceInfo>& interfaces) {
  return u"Velmora device inspection (read-only)\n\n" + presence_details(presence) +
         (held != nullptr ? snapshot_details(*held) : interface_details(interfaces));
}

const char16_t* const kSetupStepsText =
    u"Windows detects the camera, but the WinUSB device interface is missing.\n\n"
    u"1. Open Device Manager.\n"
    u"2. Find 'Dual-Mode Digital Camera' (often under Other devices).\n"
    u"3. Right-click \u2192 Update driver.\n"
    u"4. Browse my computer \u2192 Let me pick from a list.\n"
    u"5. Choose Universal Serial Bus devices \u2192 WinUsb Device.\n"
    u"6. Reconnect the camera, then click Refresh Photo List.\n\n"
    u"Only do this for the confirmed hardware ID USB\\VID_093A&PID_010E.\n"
    u"Do not install arbitrary third-party driver-updater software.\n"
    u"The application never modifies device drivers automatically.";

std::u16string help_info_content() { return joined(help_lines(markup), u"\n"); }

std::u16string help_info_copy_text() {
  std::vector<std::u16string> lines = help_lines(plain);
  lines.insert(lines.begin(), u"Velmora");
  return joined(lines, u"\r\n");
}

bool is_help_link(const std::u16string& target) {
  for (const HelpLink& link : {kCreditLink, kProgramLink, kSupportLink}) {
    if (target == link.target) return true;
  }
  return false;
}

}  // namespace velmora
