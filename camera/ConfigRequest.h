#pragma once
// The restore request: a multipart/form-data POST laid out like the firmware upload (the same
// boundary, part head and tail, the same seven headers in the same order), with the field
// "Restore", the file "temp.cfg" and the camera's factory-default administrator as authorization.
// Pure functions and constants; any thread.
//
// The layout on the wire, B being the boundary value:
//   head  CR LF B CR LF <Content-Disposition line> CR LF <Content-Type line> CR LF CR LF
//   data  the file bytes, unchanged
//   tail  CR LF B "--" CR LF CR LF
// Both the declared boundary and the delimiter lines are B itself: the delimiter lines carry no
// leading "--". The cameras expect exactly this.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

namespace detail {

/// One multipart POST of a single file, ready to send.
struct FormPostLayout {
    std::string boundary;              ///< B
    std::string head;                  ///< bytes before the file
    std::string tail;                  ///< bytes after the file
    std::vector<std::string> headers;  ///< the seven header lines in order, each ending in CR LF
    std::uint64_t contentLength = 0;   ///< head + file + tail
};

/// "---------------------------7d" followed by the decimal `secondsSinceEpoch`.
std::string FormBoundary(std::int64_t secondsSinceEpoch);

/// The layout for a file of `fileSize` bytes posted as `fileName` in the field `field`, with
/// `credential` (Base64) in the Authorization header.
FormPostLayout MakeFormPost(std::string_view field, std::string_view fileName, std::uint64_t fileSize,
                            std::string_view credential, std::int64_t secondsSinceEpoch);

}  // namespace detail
}  // namespace xqt
