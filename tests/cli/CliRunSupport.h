#pragma once
// What the tests of xqt-cli's camera commands share: a scratch folder of their own, and a command
// run through the shell with its output (standard output and error together) and the JSON objects
// among its lines.

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace xqt::test {

/// A fresh folder below the temporary one, removed with everything in it.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& prefix) {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

template <class Json>
struct CliRunOf {
    int exitCode = -1;
    std::vector<Json> lines;  // --json output, one object per line
    std::string text;
};

/// Runs `command` with `sh -c` and waits for it.
template <class Json = nlohmann::json>
CliRunOf<Json> RunShell(const std::string& command) {
    CliRunOf<Json> run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
        run.text.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(run.text);
    for (std::string line; std::getline(lines, line);) {
        auto parsed = Json::parse(line, nullptr, false);
        if (!parsed.is_discarded()) run.lines.push_back(std::move(parsed));
    }
    return run;
}

}  // namespace xqt::test
