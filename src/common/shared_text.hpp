// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace fennelview {

// Text that is never changed once made, held once however many hold it: a compiled style sheet
// of megabytes goes from the compiler to the page, the CSS view and the site without a copy.
class SharedText {
 public:
  SharedText() : text_(std::make_shared<const std::string>()) {}
  explicit SharedText(std::string text) : text_(std::make_shared<const std::string>(std::move(text))) {}

  const std::string& str() const { return *text_; }
  operator const std::string&() const { return *text_; }
  // For whoever keeps the text beyond the holder's life.
  const std::shared_ptr<const std::string>& shared() const { return text_; }

  std::size_t size() const { return text_->size(); }
  bool empty() const { return text_->empty(); }
  std::size_t find(std::string_view part, std::size_t from = 0) const { return text_->find(part, from); }
  bool starts_with(std::string_view part) const { return text_->starts_with(part); }

  friend bool operator==(const SharedText& a, const SharedText& b) { return a.text_ == b.text_ || *a.text_ == *b.text_; }
  friend bool operator==(const SharedText& a, std::string_view b) { return *a.text_ == b; }
  friend std::ostream& operator<<(std::ostream& out, const SharedText& text) { return out << *text.text_; }

 private:
  std::shared_ptr<const std::string> text_;
};

}  // namespace fennelview
