// SPDX-License-Identifier: GPL-3.0-or-later
#include "share/server_proxy.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

TEST(ServerProxyTest, TheServersAddressesBecomeOursAndItsCookiesComeBackOverHttp) {
  const std::string origin = "http://127.0.0.1:8000";
  const struct {
    const char* html;
    const char* served;
  } pages[] = {
      {"<a href=\"http://127.0.0.1:8000/a?b\">", "<a href=\"/a?b\">"},
      {"<a href='http://127.0.0.1:8000'>", "<a href='/'>"},
      {"http://127.0.0.1:80001/x http://127.0.0.1:8000.example/", "http://127.0.0.1:80001/x http://127.0.0.1:8000.example/"},
      {"url(http://127.0.0.1:8000/a.png) http://127.0.0.1:8000", "url(/a.png) /"},
  };
  for (const auto& each : pages) EXPECT_EQ(relativeToOrigin(each.html, origin), each.served) << each.html;
  EXPECT_EQ(relativeTo("HTTP://127.0.0.1:8000?next=1", origin), "/?next=1");
  EXPECT_EQ(relativeTo("http://127.0.0.1:8001/", origin), "http://127.0.0.1:8001/");
  const struct {
    const char* cookie;
    const char* served;
  } cookies[] = {
      {"sessionid=a; Domain=localhost; Path=/; Secure; HttpOnly", "sessionid=a; Path=/; HttpOnly"},
      {"csrftoken=b;samesite=None;secure", "csrftoken=b"},
      {"secure=1; SameSite=Lax", "secure=1; SameSite=Lax"},
  };
  for (const auto& each : cookies) EXPECT_EQ(servedCookie(each.cookie), each.served) << each.cookie;
}

}  // namespace
}  // namespace fennelview
