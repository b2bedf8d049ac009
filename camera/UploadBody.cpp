#include "camera/UploadBody.h"

#include <array>
#include <cstring>

namespace xqt {

std::string MakeBoundary(std::int64_t secondsSinceEpoch) {
    return std::string(BOUNDARY_PREFIX) + std::to_string(secondsSinceEpoch);
}

std::string PartHead(std::string_view boundary, std::string_view field, std::string_view fileName) {
    std::string head = "\r\n";
    head += boundary;
    head += "\r\nContent-Disposition: form-data; name=\"";
    head += field;
    head += "\"; filename=\"";
    head += fileName;
    head += "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    return head;
}

std::string PartTail(std::string_view boundary) {
    std::string tail = "\r\n";
    tail += boundary;
    tail += "--\r\n\r\n";
    return tail;
}

MultipartUpload MakeMultipartUpload(std::int64_t secondsSinceEpoch, std::string_view field,
                                    std::string_view fileName, std::uint64_t dataSize,
                                    std::string_view credential) {
    MultipartUpload upload;
    upload.boundary = MakeBoundary(secondsSinceEpoch);
    upload.head = PartHead(upload.boundary, field, fileName);
    upload.tail = PartTail(upload.boundary);
    upload.contentLength = upload.head.size() + upload.tail.size() + dataSize;
    upload.headers = {
        "Content-Type: multipart/form-data; boundary=" + upload.boundary + "\r\n",
        "Accept-Encoding: gzip, deflate\r\n",
        "Connection: Keep-Alive\r\n",
        "Proxy-Connection: Keep-Alive\r\n",
        "Cache-Control: no-cache\r\n",
        "Content-Length: " + std::to_string(upload.contentLength) + "\r\n",
        "Authorization: Basic " + std::string(credential) + "\r\n",
    };
    return upload;
}

bool WriteInChunks(std::span<const std::uint8_t> data,
                   const std::function<bool(const std::uint8_t*, std::size_t)>& write,
                   const std::function<void()>& afterChunk, const std::function<bool()>& keepGoing,
                   std::size_t chunksPerWrite) {
    std::array<std::uint8_t, UPLOAD_CHUNK> chunk;
    const std::size_t perWrite = std::max<std::size_t>(1, chunksPerWrite);
    std::size_t position = 0;
    while (position < data.size()) {
        if (keepGoing && !keepGoing()) return false;
        const std::size_t size = std::min(UPLOAD_CHUNK * perWrite, data.size() - position);
        const std::uint8_t* from = data.data() + position;
        if (perWrite == 1) {
            std::memcpy(chunk.data(), from, size);
            from = chunk.data();
        }
        if (!write(from, size)) return false;
        if (afterChunk) {
            for (std::size_t done = 0; done < size; done += UPLOAD_CHUNK)
                afterChunk();
        }
        position += size;
    }
    return true;
}

}  // namespace xqt
