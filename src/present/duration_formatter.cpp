// SPDX-License-Identifier: GPL-3.0-or-later
#include "present/duration_formatter.hpp"

#include <glib.h>
#include <glib/gi18n.h>
#include <unicode/locid.h>
#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>
#include <unicode/numberformatter.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

namespace fennelview {

namespace {

// The locale that numbers are written in, by the POSIX order: LC_ALL, then LC_NUMERIC, then
// LANG. ICU's own default follows the messages' locale, which may differ.
icu::Locale numericLocale() {
  for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return icu::Locale(value);  // ICU drops ".UTF-8" and "@…" itself
  }
  return icu::Locale::getDefault();
}

// Unit names in the language the messages are in: GLib's order (LANGUAGE, LC_ALL, LC_MESSAGES,
// LANG), whose first choice is the translation the user reads.
icu::Locale messagesLocale() {
  const char* const* names = g_get_language_names();
  if (names && names[0] && g_strcmp0(names[0], "C") != 0 && g_strcmp0(names[0], "POSIX") != 0) {
    return icu::Locale(names[0]);
  }
  return icu::Locale::getDefault();
}

std::string withUnit(const char* format, const std::string& number) {
  char* text = g_strdup_printf(format, number.c_str());
  std::string out(text);
  g_free(text);
  return out;
}

}  // namespace

struct DurationFormatter::Formatters {
  std::optional<icu::number::LocalizedNumberFormatter> milliseconds;
  std::optional<icu::number::LocalizedNumberFormatter> seconds;
  std::unique_ptr<icu::MeasureFormat> longDuration;
};

namespace {

std::optional<std::string> format(const icu::number::LocalizedNumberFormatter& formatter, double value) {
  UErrorCode status = U_ZERO_ERROR;
  const auto text = formatter.formatDouble(value, status).toString(status);
  if (U_FAILURE(status) || text.isEmpty()) return std::nullopt;
  std::string out;
  text.toUTF8String(out);
  return out;
}

}  // namespace

DurationFormatter::DurationFormatter()
    : locale_(std::make_unique<icu::Locale>(messagesLocale())),
      numberLocale_(std::make_unique<icu::Locale>(numericLocale())),
      formatters_(std::make_unique<Formatters>()) {}

DurationFormatter::DurationFormatter(const std::string& localeName)
    : locale_(std::make_unique<icu::Locale>(localeName.c_str())),
      numberLocale_(std::make_unique<icu::Locale>(*locale_)),
      formatters_(std::make_unique<Formatters>()) {}

DurationFormatter::~DurationFormatter() = default;

std::string DurationFormatter::stringFromDuration(double seconds) {
  auto& f = *formatters_;
  if (seconds >= 0.0 && seconds < 1.0) {
    if (!f.milliseconds) {
      // No style: a whole number, rounded half-even, without grouping.
      f.milliseconds = icu::number::NumberFormatter::withLocale(*numberLocale_)
                           .precision(icu::number::Precision::integer())
                           .grouping(UNUM_GROUPING_OFF);
    }
    /* Translators: a compile time under a second; %1$s is the number of milliseconds, as in "12ms". */
    return withUnit(_("%1$sms"), format(*f.milliseconds, seconds * 1000.0).value_or("0"));
  }
  if (seconds >= 1.0 && seconds < 10.0) {
    if (!f.seconds) {
      // Decimal style: up to three fraction digits in the locale's own separator.
      f.seconds = icu::number::NumberFormatter::withLocale(*numberLocale_).precision(
          icu::number::Precision::maxFraction(3));
    }
    /* Translators: a compile time under ten seconds; %1$s is the number of seconds, as in "1.5s". */
    return withUnit(_("%1$ss"), format(*f.seconds, seconds).value_or("0"));
  }
  // Ten seconds or more, negative values and NaN.
  if (!std::isfinite(seconds)) return withUnit(_("%1$ss"), "0");
  if (!f.longDuration) {
    UErrorCode status = U_ZERO_ERROR;
    f.longDuration = std::make_unique<icu::MeasureFormat>(*locale_, UMEASFMT_WIDTH_NARROW, status);
    if (U_FAILURE(status)) f.longDuration.reset();
  }
  if (!f.longDuration) return withUnit(_("%1$ss"), "0");
  // Split into hours, minutes and whole seconds, as an abbreviated duration shows them.
  const double magnitude = std::round(std::fabs(seconds));
  const double sign = seconds < 0 ? -1.0 : 1.0;
  const auto hours = std::floor(magnitude / 3600.0);
  const auto minutes = std::floor((magnitude - hours * 3600.0) / 60.0);
  const auto secs = magnitude - hours * 3600.0 - minutes * 60.0;
  UErrorCode status = U_ZERO_ERROR;
  std::vector<icu::Measure> parts;
  bool first = true;
  auto add = [&](double amount, icu::MeasureUnit* unit) {
    // The sign goes on the leading unit only.
    parts.emplace_back(icu::Formattable(first ? sign * amount : amount), unit, status);
    first = false;
  };
  if (hours > 0) add(hours, icu::MeasureUnit::createHour(status));
  if (hours > 0 || minutes > 0) add(minutes, icu::MeasureUnit::createMinute(status));
  add(secs, icu::MeasureUnit::createSecond(status));
  if (U_FAILURE(status)) return withUnit(_("%1$ss"), "0");
  icu::UnicodeString text;
  icu::FieldPosition position;
  f.longDuration->formatMeasures(parts.data(), static_cast<int32_t>(parts.size()), text, position, status);
  if (U_FAILURE(status) || text.isEmpty()) return withUnit(_("%1$ss"), "0");
  std::string out;
  text.toUTF8String(out);
  return out;
}

DurationFormatter& sharedDurationFormatter() {
  static DurationFormatter formatter;
  return formatter;
}

}  // namespace fennelview
