// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/canonical_equal.hpp"

#include <glib.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace fennelview {

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b) return true;  // the common case costs no normalisation
  // Bytes that are not UTF-8 would all decode to U+FFFD and compare equal; keep them exact.
  if (!g_utf8_validate(a.data(), static_cast<gssize>(a.size()), nullptr) ||
      !g_utf8_validate(b.data(), static_cast<gssize>(b.size()), nullptr)) {
    return false;
  }
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  if (U_FAILURE(status)) return false;
  const auto left = icu::UnicodeString::fromUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())));
  const auto right = icu::UnicodeString::fromUTF8(icu::StringPiece(b.data(), static_cast<int32_t>(b.size())));
  const auto normalLeft = nfd->normalize(left, status);
  const auto normalRight = nfd->normalize(right, status);
  return U_SUCCESS(status) && normalLeft == normalRight;
}

}  // namespace fennelview
