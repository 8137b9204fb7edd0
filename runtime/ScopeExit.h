// Cleanup that must run however a scope is left: on return and on an
// exception alike. Written once instead of a catch-and-rethrow beside a copy
// of the same lines on the normal path.
//
//   auto closeData = korv::ScopeExit([&] { data.Disconnect(); });
//   ...
//   closeData.Release();  // only where the cleanup must not run after all
#pragma once

#include <utility>

namespace korv {

template <typename F>
class [[nodiscard]] ScopeExit {
public:
  explicit ScopeExit(F cleanup) : cleanup_(std::move(cleanup)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() {
    if (armed_) cleanup_();
  }

  // The cleanup is not wanted any more (the work it undoes has been kept).
  void Release() noexcept { armed_ = false; }

private:
  F cleanup_;
  bool armed_ = true;
};

}  // namespace korv
