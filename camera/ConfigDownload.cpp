// ConfigStore::Download: one GET of the camera's configuration into a temporary file, made of
// named steps. Each step either leaves the download ready for the next or fails with the
// reason in `error`; the temporary file and the folders made for it go when the download does,
// unless it was published.
#include <sys/stat.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/write.hpp>
#include <functional>
#include <optional>

#include "camera/AnswerReader.h"
#include "camera/ConfigPublish.h"
#include "camera/ConfigStore.h"
#include "camera/ConnectWatch.h"
#include "camera/HostPort.h"
#include "camera/ShortRequest.h"
#include "camera/TransferStep.h"

namespace xqt {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

class ConfigDownload {
  public:
    ConfigDownload(const ConfigStore& store, std::chrono::milliseconds stepTimeout,
                   detail::TransferBound& bound, detail::Cancellation& cancellation)
        : store_(store),
          stepTimeout_(stepTimeout),
          bound_(bound),
          cancellation_(cancellation),
          registration_(cancellation, ioc_) {}

    /// The folders down to `localPath` exist (those made now are noted, to go again on failure).
    bool MakeFolders(const std::string& localPath) {
        return Take(detail::CreateFolders(localPath, &made_.folders));
    }

    /// The camera's address, the remote path and the credential can go into a request.
    bool CheckRequest() {
        const HostPort where = SplitHostPort(store_.host);
        beast::error_code ec;
        address_ = asio::ip::make_address_v4(where.host, ec);
        port_ = where.port;
        if (ec || !IsUsablePort(where.port)) return Fail("not a camera address: " + store_.host);
        const std::string& path = store_.remotePath;
        if (path.empty() || path[0] != '/' ||
            path.find_first_of(std::string_view(" \r\n\0", 4)) != std::string::npos) {
            return Fail("not a configuration path: " + path);
        }
        credentialText_ = std::string_view(store_.authHeader).substr(21);
        if (credentialText_.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
            return Fail("the credential cannot be sent");
        return true;
    }

    /// The temporary file beside `localPath`.
    bool CreateFile(const std::string& localPath) {
        if (file_.Create(localPath)) return true;
        // Another store may have removed the dated folder it made just after we found it: once more.
        return MakeFolders(localPath) && Take(file_.Create(localPath));
    }

    bool Connect() {
        bound_.Start();
        detail::NoteConnect(address_.to_string() + ":" + std::to_string(port_));
        const auto ec = Run([&](auto s) {
            stream_.async_connect(tcp::endpoint(address_, static_cast<std::uint16_t>(port_)),
                                  detail::StepDone(s));
        });
        return !ec || FailWith("cannot connect to " + store_.host, ec);
    }

    bool SendRequest() {
        http::request<http::empty_body> request{http::verb::get, store_.remotePath, 11};
        request.set(http::field::host, store_.host);
        request.set(http::field::user_agent,
                    beast::string_view(detail::USER_AGENT.data(), detail::USER_AGENT.size()));
        request.set(http::field::authorization, "Basic " + std::string(credentialText_));
        request.set(http::field::cache_control, "no-cache");
        const auto ec = Run([&](auto s) { http::async_write(stream_, request, detail::StepDone(s)); });
        return !ec || FailWith("cannot send the request to " + store_.host, ec);
    }

    /// The answer's head, which must be an HTTP 200.
    bool ReadHead() {
        const auto ec = answer_.ReadHead(stream_, StepRunner());
        if (ec == http::error::bad_version) return FailWith("the camera's answer is not HTTP", ec);
        if (ec) return FailWith("no answer from " + store_.host, ec);
        if (const unsigned status = answer_.reader().Status(); status != 200) {
            return Close(Fail("the camera refused the configuration (HTTP " + std::to_string(status) + ")"));
        }
        return true;
    }

    /// The body to its end into the file: not a page, not larger than CONFIG_SIZE_LIMIT, not empty.
    bool ReadBody() {
        char block[CONFIG_READ_SIZE];
        for (;;) {
            const auto piece = answer_.ReadBody(stream_, StepRunner(), block, sizeof(block));
            if (piece.size == 0) {
                if (!piece.ec) break;
                if (piece.ec == http::error::partial_message)
                    return FailWith("the configuration arrived incomplete", piece.ec);
                return FailWith("cannot read the configuration", piece.ec);
            }
            if (!TakePiece(std::string_view(block, piece.size))) return Close(false);
        }
        Close(true);
        return total_ != 0 || Fail("the camera sent an empty configuration");
    }

    /// The file under `localPath`'s name or the first free suffixed one; the folders made for it stay.
    std::optional<detail::PublishedFile> Publish(const std::string& localPath) {
        auto published = file_.Commit(localPath);
        if (!published) {
            Fail(published.error());
            return std::nullopt;
        }
        made_.keep = true;
        return std::move(*published);
    }

    /// Body bytes received so far.
    std::uint64_t Total() const { return total_; }

    std::string error;  ///< why the failed step failed

  private:
    bool TakePiece(std::string_view bytes) {
        if (scanner_.Feed(bytes)) return Fail("the camera sent a page instead of its configuration");
        total_ += bytes.size();
        if (total_ > CONFIG_SIZE_LIMIT)
            return Fail("the configuration is larger than " + std::to_string(CONFIG_SIZE_LIMIT) + " bytes");
        return Take(file_.Write(bytes.data(), bytes.size()));
    }

    /// One step of the exchange, held to the step timeout and to the overall bound for the bytes
    /// received so far.
    beast::error_code Run(const std::function<void(std::shared_ptr<detail::StepState>)>& start) {
        return detail::RunStep(
            ioc_, stream_, stepTimeout_, [this] { return cancellation_.IsCancelled(); }, start,
            bound_.Deadline(total_));
    }
    detail::AnswerIntake::Runner StepRunner() {
        return [this](const detail::AnswerIntake::Start& start) { return Run(start); };
    }

    bool Fail(std::string text) {
        error = std::move(text);
        return false;
    }
    bool Take(const Result<void>& result) { return result || Fail(result.error()); }
    bool FailWith(const std::string& what, beast::error_code e) {
        Close(false);
        if (e == asio::error::operation_aborted && cancellation_.IsCancelled())
            return Fail(what + ": cancelled");
        if (e == beast::error::timeout) return Fail(what + ": the camera did not answer in time");
        return Fail(what + ": " + e.message());
    }
    bool Close(bool result) {
        detail::CloseStream(stream_);
        return result;
    }

    const ConfigStore& store_;
    const std::chrono::milliseconds stepTimeout_;
    detail::TransferBound& bound_;
    detail::Cancellation& cancellation_;
    asio::io_context ioc_{1};
    detail::Cancellation::Registration registration_;
    beast::tcp_stream stream_{ioc_};
    asio::ip::address_v4 address_;
    int port_ = 0;
    std::string_view credentialText_;
    detail::MadeFolders made_;
    detail::TempFile file_;
    detail::AnswerIntake answer_{CONFIG_READ_SIZE};
    detail::MarkerScanner scanner_;
    std::uint64_t total_ = 0;
};

}  // namespace

bool ConfigStore::Download() try {
    errorText.clear();
    byteCount = 0;
    if (saved_) return Fail("the configuration was saved already");
    if (localPath.empty()) return Fail("no folder for saved configurations: HOME is not set");
    ConfigDownload download(*this, stepTimeout_, bound_, cancellation_);
    if (!download.MakeFolders(localPath) || !download.CheckRequest() || !download.CreateFile(localPath) ||
        !download.Connect() || !download.SendRequest() || !download.ReadHead() || !download.ReadBody()) {
        return Fail(download.error);
    }
    auto published = download.Publish(localPath);
    if (!published) return Fail(download.error);
    localPath = std::move(published->path);
    saved_ = true;
    savedDevice_ = static_cast<std::uint64_t>(published->info.st_dev);
    savedInode_ = static_cast<std::uint64_t>(published->info.st_ino);
    byteCount = static_cast<std::uint32_t>(download.Total());
    return true;
} catch (const std::exception& e) {
    return Fail(e.what());
}

}  // namespace xqt
