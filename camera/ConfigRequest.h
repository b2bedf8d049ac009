#pragma once
// The restore request: a multipart/form-data POST laid out like the firmware upload and built by
// the same MakeMultipartUpload (camera/UploadBody.h), with the field "Restore", the file "temp.cfg"
// and the camera's factory-default administrator as authorization. Constants only.
//
// The layout on the wire, B being the boundary value:
//   head  CR LF B CR LF <Content-Disposition line> CR LF <Content-Type line> CR LF CR LF
//   data  the file bytes, unchanged
//   tail  CR LF B "--" CR LF CR LF
// Both the declared boundary and the delimiter lines are B itself: the delimiter lines carry no
// leading "--". The cameras expect exactly this.

#include <cstddef>
#include <string_view>

namespace xqt {

/// Where a configuration is posted back; cameras with pan-tilt take the preset path.
inline constexpr std::string_view RESTORE_PATH = "/command/all-configuration.cgi";
inline constexpr std::string_view RESTORE_PRESET_PATH = "/command/all-configuration-preset.cgi";
inline constexpr std::string_view RESTORE_FIELD = "Restore";
inline constexpr std::string_view RESTORE_FILE_NAME = "temp.cfg";

/// Base64 of the factory-default administrator's "name:password" of the camera family
/// ("admin:xqt-default1"). The restore is authorized with it, never with the user's credential.
inline constexpr std::string_view FACTORY_CREDENTIAL = "YWRtaW46eHF0LWRlZmF1bHQx";

/// Bytes of one body write of the restore (the upload's chunk size).
inline constexpr std::size_t RESTORE_CHUNK_SIZE = 1460;

}  // namespace xqt
