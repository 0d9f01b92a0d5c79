// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace fennelview {

// The pieces of a page served to a browser that are plain text: each is linear in its input.

// The script tag that keeps a served page live, appended to the page's HTML: after the end of
// the document a parser still puts it in the body, whatever the page's markup. A page that
// answered a form (`posted`) is loaded again, not reloaded: the browser would ask to send the
// form once more.
std::string withLiveScript(std::string_view html, unsigned pageVersion, unsigned cssVersion, bool posted = false);

// One Server-Sent Events message carrying `data` (a line break in it starts another data line).
std::string serverSentEvent(std::string_view data);

// Whether a request carries `token`: in the query's "token" or the cookie tokenCookie names.
// An empty token accepts every request.
bool carriesToken(const char* query, const char* cookieHeader, std::string_view token, unsigned port);
// The cookie keeping the token of the server at `port`: browsers share cookies across ports, so
// each window's server has its own.
std::string tokenCookie(unsigned port);

// Whether a Host header names the loopback address a browser on this machine uses, at `port`:
// another name pointing there (a rebound one) would let a web site read the project.
bool isLoopbackHost(std::string_view host, unsigned port);

// A long random token for addresses other devices may use, as hexadecimal text.
std::string newToken();

}  // namespace fennelview
