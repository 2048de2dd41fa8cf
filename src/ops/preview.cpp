#include "ops/preview.h"

#include "base/failure.h"
#include "base/text.h"
#include "decode/mars_decoder.h"
#include "link/transport.h"
#include "protocol/photo_fetch.h"
#include "render/render_photo.h"

namespace velmora {

RgbImage render_preview(const CameraEnvironment& env, const ScanData& snapshot, std::uint64_t index,
                        std::int32_t pattern, const ProgressFn& progress) {
  if (index >= snapshot.entries.size()) throw Failure("Preview item no longer in current list");
  const PhotoEntry& entry = snapshot.entries[index];
  if (entry.non_still || entry.width == 0 || entry.height == 0) {
    throw Failure("This entry is not a supported still photo");
  }
  progress(u"Fetching photo " + utf8_to_utf16(std::to_string(index + 1)) + u" for temporary preview...");
  paced_sleep(env.clock, 100);

  PhotoTransfer fetched;
  {
    CameraSession session = open_camera(env.usb, snapshot.device_path, env.clock);
    fetched = fetch_photo(session, entry);
  }  // closed before any error is reported
  if (!fetched.ok) throw Failure(fetched.error);

  const auto width = static_cast<std::int32_t>(entry.width);
  const auto height = static_cast<std::int32_t>(entry.height);
  const BayerPlane plane = decode_raw_photo(fetched.payload, width, height, entry.compressed, 0);
  return render_photo(fetched.payload, plane, pattern, kStyleBalanced, 0);
}

}  // namespace velmora
