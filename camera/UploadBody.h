#pragma once
// The multipart/form-data request that carries a firmware image (and, with another field, file
// name and credential, a saved configuration), byte for byte as the cameras take it:
//
//   body = CR LF B CR LF <Content-Disposition> CR LF <Content-Type> CR LF CR LF  (part head P)
//          <data>
//          CR LF B "--" CR LF CR LF                                            (part tail T)
//
// where B is both the declared boundary and the delimiter line: the cameras expect the delimiter
// lines without the usual leading "--". Pure functions; the session streams the data between P and
// T from the caller's buffer in UPLOAD_CHUNK pieces.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xqt {

inline constexpr std::size_t UPLOAD_CHUNK = 1460;  ///< bytes per write of the data
inline constexpr std::string_view FIRMWARE_PATH = "/command/versionup.cgi";
inline constexpr std::string_view FIRMWARE_FIELD = "setting_file";
inline constexpr std::string_view FIRMWARE_FILE = "upgrade.bin";
/// 27 "-" and "7d"; the decimal time follows.
inline constexpr std::string_view BOUNDARY_PREFIX = "---------------------------7d";

/// The boundary for a request made at `secondsSinceEpoch` (39 characters while the time has 10 digits).
[[nodiscard]] std::string MakeBoundary(std::int64_t secondsSinceEpoch);

/// Part head P for the form field `field` carrying the file `fileName`.
[[nodiscard]] std::string PartHead(std::string_view boundary, std::string_view field,
                                   std::string_view fileName);

/// Part tail T.
[[nodiscard]] std::string PartTail(std::string_view boundary);

/// Everything of one multipart upload but the data itself.
struct MultipartUpload {
    std::string boundary;
    std::string head;                 ///< P
    std::string tail;                 ///< T
    std::uint64_t contentLength = 0;  ///< |P| + |T| + data size
    /// The seven request headers in their order, each ending in CR LF: Content-Type with the
    /// boundary, Accept-Encoding, Connection, Proxy-Connection, Cache-Control, Content-Length and
    /// Authorization (Basic + `credential`).
    std::vector<std::string> headers;
};

MultipartUpload MakeMultipartUpload(std::int64_t secondsSinceEpoch, std::string_view field,
                                    std::string_view fileName, std::uint64_t dataSize,
                                    std::string_view credential);

/// Chunks the upload hands to one write: 44 × 1460 = 64,240 bytes, so the image goes out in few
/// large writes while its progress still counts every chunk.
inline constexpr std::size_t UPLOAD_CHUNKS_PER_WRITE = 44;

/// Writes `data` in chunks of UPLOAD_CHUNK bytes (the last one shorter). With one chunk per write
/// each is copied into one UPLOAD_CHUNK-byte buffer first, so the data is never copied whole; with
/// more, `chunksPerWrite` chunks go out in one write straight from `data`. `afterChunk` runs once
/// for every chunk of a successful write. Stops at the first failed write or when `keepGoing` says
/// no; true when every byte was written.
[[nodiscard]] bool WriteInChunks(std::span<const std::uint8_t> data,
                                 const std::function<bool(const std::uint8_t*, std::size_t)>& write,
                                 const std::function<void()>& afterChunk,
                                 const std::function<bool()>& keepGoing = {}, std::size_t chunksPerWrite = 1);

}  // namespace xqt
