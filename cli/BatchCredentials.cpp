#include "cli/BatchCredentials.h"

#include <sstream>

#include "camera/HostPort.h"
#include "cli/CommandInput.h"
#include "platform/BoundedText.h"
#include "platform/Secrets.h"

namespace xqt::cli::batch {

Result<Logins> ReadCredentials(const std::string& path) {
    platform::KeepSecretsOutOfCoreDumps();
    if (Result<void> private_ = IsPrivateFile(path); !private_) return Fail(private_.error());
    const platform::BoundedText text = platform::ReadBoundedText(path);
    if (text.outcome != platform::TextReadOutcome::Read) {
        return Fail("cannot read " + path);
    }
    Logins logins;
    std::map<std::string, int> lineOf;
    std::istringstream lines(std::string(platform::WithoutByteOrderMark(text.bytes)));
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto first = line.find(',');
        const auto second = first == std::string::npos ? first : line.find(',', first + 1);
        const auto address =
            first == std::string::npos ? std::nullopt : NormaliseAddress(line.substr(0, first));
        if (second == std::string::npos || !address) {
            // The line is not echoed: it may hold a password.
            return Fail(path + ": line " + std::to_string(number) + " is not address[:port],user,password");
        }
        if (const auto [earlier, added] = lineOf.emplace(*address, number); !added) {
            return Fail(path + ": line " + std::to_string(number) + " repeats the camera " + *address +
                        " of line " + std::to_string(earlier->second));
        }
        logins[*address] = {line.substr(first + 1, second - first - 1), line.substr(second + 1)};
    }
    return logins;
}

}  // namespace xqt::cli::batch
