// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <glib-object.h>
#include <glib.h>

#include <memory>
#include <utility>

namespace fennelview {

// Owning handle for a GObject: one reference, released with g_object_unref.
template <class T>
class GObjectPtr {
 public:
  GObjectPtr() = default;
  // Takes over a reference the caller already owns (a "transfer full" return value).
  explicit GObjectPtr(T* owned) : ptr_(owned) {}
  GObjectPtr(const GObjectPtr& other) : ptr_(other.ptr_) {
    if (ptr_) g_object_ref(ptr_);
  }
  GObjectPtr(GObjectPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  GObjectPtr& operator=(GObjectPtr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }
  ~GObjectPtr() {
    if (ptr_) g_object_unref(ptr_);
  }

  // Adds a reference to an object borrowed from somebody else ("transfer none").
  static GObjectPtr retain(T* borrowed) {
    if (borrowed) g_object_ref(borrowed);
    return GObjectPtr(borrowed);
  }

  T* get() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
// A string allocated by GLib.
using GCharPtr = std::unique_ptr<char, GFreeDeleter>;

struct GErrorDeleter {
  void operator()(GError* e) const { g_error_free(e); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

}  // namespace fennelview
