// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

typedef struct _SoupSession SoupSession;

namespace fennelview::test {

// A fresh folder under $TMPDIR, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Iterates the default main context until `done` holds or the time is up; returns done().
bool runUntil(const std::function<bool()>& done,
              std::chrono::milliseconds limit = std::chrono::seconds(10));
// Iterates the default main context for a while, to let late events arrive.
void runFor(std::chrono::milliseconds duration);

// A GET with a real HTTP client (libsoup's `session`, which keeps cookies when it has a jar) to a
// server on this main loop: the status, the body and the `wanted` header of the answer.
struct HttpReply {
  unsigned status = 0;
  std::string body, header;
};
HttpReply httpGet(SoupSession* session, const std::string& url,
                  const std::vector<std::pair<const char*, std::string>>& headers = {}, const char* wanted = "Set-Cookie");

// Writes a file, making the folders it lies in.
void writeFile(const std::filesystem::path& path, const std::string& contents);
// Writes each (name, contents) under `root`.
void writeFiles(const std::filesystem::path& root, const std::vector<std::pair<std::string, std::string>>& files);
// Writes next to the file and renames over it, as many editors save.
void writeFileByRename(const std::filesystem::path& path, const std::string& contents);
std::string readFile(const std::filesystem::path& path);

// A fake compiler or tool: an executable shell script at `path` running `body`.
std::string writeScript(const std::filesystem::path& path, const std::string& body);

// Gone, or ended and waiting for a parent to collect it.
bool processEnded(int pid);

// The build's resource folder, with the real sassc and Template/.
std::filesystem::path realResources();
std::filesystem::path realSassc();

}  // namespace fennelview::test
