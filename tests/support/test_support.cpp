// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_support.hpp"

#include <glib.h>
#include <libsoup/soup.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fennelview::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "fennelview-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    // Non-blocking, so the deadline is kept even when no source is ready.
    if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

HttpReply httpGet(SoupSession* session, const std::string& url,
                  const std::vector<std::pair<const char*, std::string>>& headers, const char* wanted) {
  SoupMessage* message = soup_message_new("GET", url.c_str());
  for (const auto& [name, value] : headers) soup_message_headers_replace(soup_message_get_request_headers(message), name, value.c_str());
  std::optional<std::string> body;
  soup_session_send_and_read_async(session, message, G_PRIORITY_DEFAULT, nullptr, +[](GObject* source, GAsyncResult* result, gpointer data) {
    GBytes* bytes = soup_session_send_and_read_finish(SOUP_SESSION(source), result, nullptr);
    gsize size = 0;
    const auto* text = bytes ? static_cast<const char*>(g_bytes_get_data(bytes, &size)) : "";
    *static_cast<std::optional<std::string>*>(data) = std::string(text, size);
    if (bytes) g_bytes_unref(bytes);
  }, &body);
  runUntil([&] { return body.has_value(); });
  const char* header = soup_message_headers_get_one(soup_message_get_response_headers(message), wanted);
  HttpReply reply{soup_message_get_status(message), body.value_or(""), header ? header : ""};
  g_object_unref(message);
  return reply;
}

void runFor(std::chrono::milliseconds duration) {
  runUntil([] { return false; }, duration);
}

void writeFile(const std::filesystem::path& path, const std::string& contents) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void writeFiles(const std::filesystem::path& root, const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [name, contents] : files) writeFile(root / name, contents);
}

void writeFileByRename(const std::filesystem::path& path, const std::string& contents) {
  writeFile(path.string() + ".tmp~", contents);
  std::filesystem::rename(path.string() + ".tmp~", path);
}

std::string readFile(const std::filesystem::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

std::string writeScript(const std::filesystem::path& path, const std::string& body) {
  writeFile(path, "#!/bin/sh\n" + body + "\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path.string();
}

bool processEnded(int pid) {
  std::string id, name, state;
  return !(std::ifstream("/proc/" + std::to_string(pid) + "/stat") >> id >> name >> state) || state == "Z";
}

std::filesystem::path realResources() { return FENNELVIEW_TEST_RESOURCES; }
std::filesystem::path realSassc() { return realResources() / "sassc"; }

}  // namespace fennelview::test
