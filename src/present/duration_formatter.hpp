// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unicode/locid.h>

#include <memory>
#include <string>

namespace fennelview {

// Writes a compile time for the header: "12ms", "1.5s", or an abbreviated duration.
// Not thread-safe: the ICU formatters are made on first use and kept, unguarded.
class DurationFormatter {
 public:
  // The current locales: numbers as LC_NUMERIC says, unit names as ICU's default.
  DurationFormatter();
  // A fixed locale such as "en_US" or "de_DE".
  explicit DurationFormatter(const std::string& localeName);
  ~DurationFormatter();
  DurationFormatter(const DurationFormatter&) = delete;
  DurationFormatter& operator=(const DurationFormatter&) = delete;

  std::string stringFromDuration(double seconds);

 private:
  struct Formatters;
  std::unique_ptr<icu::Locale> locale_;
  std::unique_ptr<icu::Locale> numberLocale_;
  std::unique_ptr<Formatters> formatters_;
};

// The application's one formatter, made on first use. Main thread only.
DurationFormatter& sharedDurationFormatter();

}  // namespace fennelview
