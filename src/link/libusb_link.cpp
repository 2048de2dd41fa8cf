#include "link/libusb_link.h"

#include "platform/libusb_api.h"

namespace velmora {

std::optional<std::string> libusb_link_refusal(const CameraPresence& presence,
                                               const std::vector<CameraInterfaceInfo>& interfaces) {
  switch (classify_camera_link(presence, interfaces)) {
    case CameraLinkState::Disconnected: return std::string(kNoCameraText);
    case CameraLinkState::DetectedNoWinUsb:
      return std::string(presence.driver_service == kKernelDriverService ? kKernelDriverText : kNoPermissionText);
    case CameraLinkState::RelatedVariantOnly:
    case CameraLinkState::Connected: return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace velmora
