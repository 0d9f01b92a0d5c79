// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A small reactive layer: pipes, signals, observers, disposables and mutable properties.
// Delivery never changes threads; subscribing and sending are safe from any thread.

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace fennelview {

// Ends one subscription. Copies share the same subscription.
class Disposable {
 public:
  Disposable() : state_(std::make_shared<State>()) {}
  explicit Disposable(std::function<void()> action) : state_(std::make_shared<State>()) {
    state_->action = std::move(action);
  }

  void dispose() const {
    std::function<void()> action;
    {
      std::lock_guard lock(state_->mutex);
      if (state_->disposed) return;
      state_->disposed = true;
      action = std::move(state_->action);
    }
    if (action) action();
  }

 private:
  struct State {
    std::mutex mutex;
    bool disposed = false;
    std::function<void()> action;
  };
  std::shared_ptr<State> state_;
};

// Holds several disposables and disposes them together.
class CompositeDisposable {
 public:
  void add(Disposable d) {
    std::unique_lock lock(mutex_);
    if (disposed_) {
      lock.unlock();
      d.dispose();
      return;
    }
    items_.push_back(std::move(d));
  }
  void dispose() {
    std::vector<Disposable> items;
    {
      std::lock_guard lock(mutex_);
      disposed_ = true;
      items.swap(items_);
    }
    for (auto& d : items) d.dispose();
  }

 private:
  std::mutex mutex_;
  bool disposed_ = false;
  std::vector<Disposable> items_;
};

template <class T>
class Signal;

// The input end: values (and an end) sent here reach every current subscriber.
template <class T>
class Observer {
 public:
  Observer() = default;
  Observer(std::function<void(const T&)> onNext, std::function<void()> onCompleted = {})
      : onNext_(std::move(onNext)), onCompleted_(std::move(onCompleted)) {}

  void sendNext(const T& value) const {
    if (onNext_) onNext_(value);
  }
  void sendCompleted() const {
    if (onCompleted_) onCompleted_();
  }

 private:
  std::function<void(const T&)> onNext_;
  std::function<void()> onCompleted_;
};

namespace detail {

template <class T>
class SignalCore : public std::enable_shared_from_this<SignalCore<T>> {
 public:
  Disposable subscribe(Observer<T> observer) {
    auto entry = std::make_shared<Entry>(std::move(observer));
    {
      std::lock_guard lock(mutex_);
      if (completed_) {
        entry->observer.sendCompleted();
        return Disposable();
      }
      entries_.push_back(entry);
    }
    std::weak_ptr<SignalCore> weak = this->shared_from_this();
    return Disposable([weak, entry] {
      entry->active = false;
      if (auto core = weak.lock()) core->remove(entry);
    });
  }

  void sendNext(const T& value) {
    for (const auto& entry : snapshot()) {
      if (entry->active) entry->observer.sendNext(value);
    }
  }

  void sendCompleted() {
    std::vector<std::shared_ptr<Entry>> entries;
    {
      std::lock_guard lock(mutex_);
      if (completed_) return;
      completed_ = true;
      entries.swap(entries_);
    }
    for (const auto& entry : entries) {
      if (entry->active) entry->observer.sendCompleted();
    }
  }

 private:
  struct Entry {
    explicit Entry(Observer<T> o) : observer(std::move(o)) {}
    Observer<T> observer;
    std::atomic<bool> active{true};
  };

  // Delivery happens outside the lock so that observers may subscribe, dispose or send.
  std::vector<std::shared_ptr<Entry>> snapshot() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  void remove(const std::shared_ptr<Entry>& entry) {
    std::lock_guard lock(mutex_);
    entries_.erase(std::remove(entries_.begin(), entries_.end(), entry), entries_.end());
  }

  mutable std::mutex mutex_;
  bool completed_ = false;
  std::vector<std::shared_ptr<Entry>> entries_;
};

}  // namespace detail

// The output end of a pipe: a stream of values that subscribers observe.
template <class T>
class Signal {
 public:
  // Subscribes an observer; the subscription is held by the signal until disposed.
  Disposable observe(Observer<T> observer) const { return subscribe_(std::move(observer)); }
  Disposable observeNext(std::function<void(const T&)> onNext) const {
    return observe(Observer<T>(std::move(onNext)));
  }

  // A signal passing on, in order, the values for which the test holds. The test runs on
  // the sending thread. Each subscription to it is one subscription to this signal, so
  // disposing it leaves nothing behind upstream.
  Signal filter(std::function<bool(const T&)> test) const {
    auto upstream = subscribe_;
    auto shared = std::make_shared<std::function<bool(const T&)>>(std::move(test));
    return Signal([upstream, shared](Observer<T> observer) {
      return upstream(Observer<T>(
          [observer, shared](const T& value) {
            if ((*shared)(value)) observer.sendNext(value);
          },
          [observer] { observer.sendCompleted(); }));
    });
  }

  // A fresh signal and the observer that feeds it.
  static std::pair<Signal, Observer<T>> pipe() {
    auto core = std::make_shared<detail::SignalCore<T>>();
    Observer<T> input([core](const T& value) { core->sendNext(value); }, [core] { core->sendCompleted(); });
    return {Signal([core](Observer<T> o) { return core->subscribe(std::move(o)); }), std::move(input)};
  }

 private:
  using Subscribe = std::function<Disposable(Observer<T>)>;
  explicit Signal(Subscribe subscribe) : subscribe_(std::move(subscribe)) {}
  Subscribe subscribe_;
};

template <class T>
class MutableProperty;

// A recipe that, each time it is started, feeds an observer from a property.
template <class T>
class SignalProducer {
 public:
  explicit SignalProducer(std::function<Disposable(Observer<T>)> start) : start_(std::move(start)) {}
  Disposable start(Observer<T> observer) const { return start_(std::move(observer)); }

 private:
  std::function<Disposable(Observer<T>)> start_;
};

// Holds one current value and announces each new one. Stores, and the notifications
// they cause, happen one at a time, in store order.
template <class T>
class MutableProperty {
 public:
  explicit MutableProperty(T initial) : state_(std::make_shared<State>(std::move(initial))) {}

  T value() const {
    std::lock_guard lock(state_->mutex);
    return state_->value;
  }

  void setValue(T value) {
    std::lock_guard lock(state_->mutex);
    state_->value = std::move(value);
    // Notified while holding the store lock, so observers see stores in order; the lock is
    // recursive, so an observer may read the value or store again on the same thread.
    state_->core->sendNext(state_->value);
  }

  // Started with an observer: the current value at once, then every later stored value.
  SignalProducer<T> producer() const {
    std::weak_ptr<State> weak = state_;
    return SignalProducer<T>([weak](Observer<T> observer) -> Disposable {
      auto state = weak.lock();
      if (!state) {
        observer.sendCompleted();
        return Disposable();
      }
      std::lock_guard lock(state->mutex);
      observer.sendNext(state->value);
      return state->core->subscribe(std::move(observer));
    });
  }

  ~MutableProperty() {
    if (state_) state_->core->sendCompleted();
  }
  MutableProperty(const MutableProperty&) = delete;
  MutableProperty& operator=(const MutableProperty&) = delete;

 private:
  struct State {
    explicit State(T initial) : value(std::move(initial)) {}
    std::recursive_mutex mutex;
    T value;
    std::shared_ptr<detail::SignalCore<T>> core = std::make_shared<detail::SignalCore<T>>();
  };
  std::shared_ptr<State> state_;
};

}  // namespace fennelview
